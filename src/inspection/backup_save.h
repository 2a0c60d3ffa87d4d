#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "inspection/document.h"
#include "inspection/inspection_run.h"

namespace verifax {

/// The backup's path: the document's folder and name, "_", the stamp "yyyymmdd_hhnnss",
/// ".bak", then the extension (from the name's last ".") with its dot made "_".
/// "C:\dados\saft.xml" at 14:30:05 on 12 May 2013 → "C:\dados\saft_20130512_143005.bak_xml".
std::string BackupFileName(std::string_view document_path, const std::tm& local_time);

/// Where a backup went and how.
struct BackupResult {
  std::string path;
  /// The backup is a second name of the document file itself (a hard link): no byte
  /// copied, and the save then gives the document a new file of its own. A run whose
  /// save fails turns it into a real copy (DetachBackup).
  bool linked = false;
};

/// Copies the document to its time-stamped backup beside it and logs the outcome.
/// Throws InspectionError when the document is missing or the copy fails.
BackupResult BackupFile(const std::string& document_path, const std::tm& local_time, LogSink& log);

/// Makes a linked backup a file of its own, with the same bytes. Errors are ignored: the
/// backup stays as it was.
void DetachBackup(const BackupResult& backup);

/// Writes the document text over the document file, in the encoding it was read with,
/// and logs the outcome. Throws InspectionError when the file cannot be written.
void SaveFile(const std::string& document_path, Document& doc, LogSink& log);

}  // namespace verifax
