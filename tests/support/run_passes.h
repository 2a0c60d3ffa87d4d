#pragma once

#include <string>
#include <vector>

#include "inspection/document.h"
#include "inspection/errors.h"
#include "inspection/passes.h"
#include "support/scripted_prompts.h"

namespace verifax::testing {

/// What the four passes did to a document.
struct PassesOutcome {
  std::vector<std::string> log;  // the pane's lines
  std::string error;             // the failure's message; empty for a run that went through
  int repairs = 0;
  std::string written;  // the document as the save would write it
};

/// Runs the four passes over `doc` in their order, as a run does.
inline PassesOutcome RunPasses(Document& doc, ScriptedPrompts& prompts, std::vector<TTax>& tax_info,
                               NumberFormat format = {},
                               WalkAhead walk_ahead = WalkAhead::kLargeDocuments) {
  MemoryLog log;
  InspectionContext ctx{doc, log, prompts, tax_info, format};
  PassesOutcome out;
  try {
    InspectHeader(ctx);
    InspectCustomers(ctx);
    InspectTaxTable(ctx);
    InspectInvoices(ctx, walk_ahead);
  } catch (const InspectionError& e) {
    out.error = e.what();
  }
  out.log = log.lines;
  out.repairs = ctx.error_cnt;
  out.written = doc.Serialize();
  return out;
}

}  // namespace verifax::testing
