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

/// Copies the document to its time-stamped backup beside it and logs the outcome.
/// Throws InspectionError when the document is missing or the copy fails.
void BackupFile(const std::string& document_path, const std::tm& local_time, LogSink& log);

/// Writes the document text over the document file, in the encoding it was read with,
/// and logs the outcome. Throws InspectionError when the file cannot be written.
void SaveFile(const std::string& document_path, Document& doc, LogSink& log);

}  // namespace verifax
