#include "inspection/inspection_run.h"

#include <exception>
#include <new>

#include "inspection/backup_save.h"
#include "inspection/document.h"
#include "inspection/errors.h"
#include "inspection/file_io.h"
#include "inspection/passes.h"

namespace verifax {

namespace {

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm result{};
#ifdef _WIN32
  localtime_s(&result, &now);
#else
  localtime_r(&now, &result);
#endif
  return result;
}

}  // namespace

RunResult RunInspection(const RunOptions& options, UserPrompts& prompts, LogSink& log,
                        std::vector<TTax>& tax_info) {
  RunResult result;
  if (!prompts.ConfirmInspection()) return result;  // declined: nothing changes

  const std::string& path = options.file_path;
  int error_cnt = 0;
  try {
    if (!FileExists(path)) throw InspectionError("Ficheiro SAF-T não existe!");
    // The tags the passes look for from one end of the file to the other, in one sweep
    // (the invoice pass reads its invoices one after the other instead).
    Document doc =
        Document::Load(path, {{std::string(kCustomerOpening), std::string(kTaxEntryOpening)}});

    log.Clear();
    log.Log("A inspecionar o ficheiro: \"" + path + "\"");
    log.Log("");

    InspectionContext ctx{doc, log, prompts, tax_info, options.number_format};
    auto count = [&] { error_cnt = ctx.error_cnt; };
    InspectHeader(ctx);
    count();
    InspectCustomers(ctx);
    count();
    InspectTaxTable(ctx);
    count();
    InspectInvoices(ctx);
    count();

    // What the passes read must be what was loaded.
    if (!doc.SourceIntact()) throw InspectionError(FileChangedMessage(path));

    result.error_cnt = error_cnt;
    if (error_cnt == 0) {
      log.Log("");
      log.Log("Ficheiro sem erros!");
      result.outcome = RunOutcome::kClean;
      return result;
    }
    if (options.dry_run) {
      log.Log("");
      log.Log("Simulação: o ficheiro não foi alterado.");
      result.outcome = RunOutcome::kRepaired;
      return result;
    }
    log.Log("");
    log.Log("");
    BackupResult backup =
        BackupFile(path, options.local_time ? options.local_time() : LocalNow(), log);
    log.Log("");
    try {
      SaveFile(path, doc, log);
    } catch (...) {
      DetachBackup(backup);
      throw;
    }
    result.outcome = RunOutcome::kRepaired;
    return result;
  } catch (const InspectionError& error) {
    result.message = error.what();
  } catch (const std::bad_alloc&) {
    result.message = "Out of memory";
  } catch (const std::exception& error) {
    result.message = error.what();
  }
  log.Clear();
  result.outcome = RunOutcome::kFailed;
  result.error_cnt = error_cnt;
  return result;
}

}  // namespace verifax
