#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inspection/document.h"
#include "inspection/inspection_run.h"
#include "inspection/records.h"

namespace verifax {

/// What the four passes share during one run.
struct InspectionContext {
  Document& doc;
  LogSink& log;
  UserPrompts& prompts;
  std::vector<TTax>& tax_info;
  NumberFormat number_format;
  int error_cnt = 0;

  /// Counts one repair and logs its line: the new count, then `text` ("> ...").
  void LogRepair(std::string_view text);
};

/// The elements the passes go through from one end of the document to the other.
inline constexpr std::string_view kCustomerOpening = "<CUSTOMER>";
inline constexpr std::string_view kTaxEntryOpening = "<TAXTABLEENTRY>";
inline constexpr std::string_view kInvoiceOpening = "<INVOICE>";
inline constexpr std::string_view kInvoiceClosing = "</INVOICE>";

/// "Não foi atualizada qualquer informação!" CR LF "O ficheiro SAFT continua inválido."
extern const char* const kNothingUpdatedMessage;

/// The header: certificate number, company address and tax number.
void InspectHeader(InspectionContext& ctx);

/// Every customer: id, name, city, postal code, tax id, country.
void InspectCustomers(InspectionContext& ctx);
std::int64_t InspectCustomer(InspectionContext& ctx, std::int64_t offset);

/// Every tax table entry: description, type, region; Portuguese codes.
void InspectTaxTable(InspectionContext& ctx);
std::int64_t InspectTaxEntry(InspectionContext& ctx, std::int64_t offset);

/// Whether the invoice pass shares its work with a second thread, which plans the second
/// half of the invoices while the pass goes through the first. The outcome is the same.
enum class WalkAhead {
  kLargeDocuments,  ///< on documents of at least kWalkAheadSize bytes
  kAlways,
  kNever,
};
inline constexpr std::int64_t kWalkAheadSize = std::int64_t(8) << 20;

/// Every invoice and its lines: numbers and units of measure.
void InspectInvoices(InspectionContext& ctx, WalkAhead walk_ahead = WalkAhead::kLargeDocuments);

/// Reads a number as the regional format does: after trimming, an optional sign, digits
/// with an optional decimal separator and fraction, an optional exponent. False for
/// anything else (thousands separators included) and for values out of range.
bool ConvertRegionalNumber(std::string_view text, const NumberFormat& format, double& value);

}  // namespace verifax
