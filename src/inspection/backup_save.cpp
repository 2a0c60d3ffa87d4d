#include "inspection/backup_save.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "inspection/errors.h"
#include "inspection/file_io.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace verifax {

namespace {

#ifdef _WIN32
constexpr std::string_view kPathDelimiters = "\\/:";
#else
constexpr std::string_view kPathDelimiters = "/";
#endif

std::string TwoDigits(int value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

std::string Stamp(const std::tm& t) {
  std::string year = std::to_string(t.tm_year + 1900);
  while (year.size() < 4) year = "0" + year;
  return year + TwoDigits(t.tm_mon + 1) + TwoDigits(t.tm_mday) + "_" + TwoDigits(t.tm_hour) +
         TwoDigits(t.tm_min) + TwoDigits(t.tm_sec);
}

std::string Arrow(const std::string& from, const std::string& to) {
  return "\"" + from + "\" -> \"" + to + "\"";
}

std::string SecondLine(const std::string& inner) { return "\r\n     (" + inner + ")"; }

}  // namespace

std::string BackupFileName(std::string_view document_path, const std::tm& local_time) {
  std::size_t name_start = document_path.find_last_of(kPathDelimiters);
  name_start = name_start == std::string_view::npos ? 0 : name_start + 1;
  std::string_view folder = document_path.substr(0, name_start);
  std::string_view name = document_path.substr(name_start);
  std::size_t dot = name.rfind('.');
  std::string_view stem = dot == std::string_view::npos ? name : name.substr(0, dot);
  std::string extension;
  if (dot != std::string_view::npos) extension = "_" + std::string(name.substr(dot + 1));
  return std::string(folder) + std::string(stem) + "_" + Stamp(local_time) + ".bak" + extension;
}

void BackupFile(const std::string& document_path, const std::tm& local_time, LogSink& log) {
  if (!FileExists(document_path)) {
    log.Log("Ficheiro SAFT (Backup): ficheiro não existe!" + SecondLine(document_path));
    throw InspectionError("Erro ao efetuar backup do ficheiro SAFT!\r\nFicheiro não existe.");
  }
  std::string backup_path = BackupFileName(document_path, local_time);
  auto backup = PathFromUtf8(backup_path);
  std::error_code ec;
  if (FileExists(backup_path)) std::filesystem::remove(backup, ec);  // same second: replace
  ec.clear();
  std::filesystem::copy_file(PathFromUtf8(document_path), backup,
                             std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) {
    log.Log("Ficheiro SAFT (Backup): não é possível renomear o ficheiro!" +
            SecondLine(Arrow(document_path, backup_path)));
    throw InspectionError("Erro ao efetuar backup do ficheiro SAFT!\r\n"
                          "Não é possível renomear o ficheiro.\r\n" +
                          Arrow(document_path, backup_path));
  }
  log.Log("Ficheiro SAFT (Backup): sucesso!" + SecondLine(Arrow(document_path, backup_path)));
}

void SaveFile(const std::string& document_path, Document& doc, LogSink& log) {
  auto native = PathFromUtf8(document_path);
#ifdef _WIN32
  std::FILE* file = _wfopen(native.c_str(), L"wb");
#else
  std::FILE* file = std::fopen(native.c_str(), "wb");
#endif
  if (!file) {
    throw InspectionError("Cannot create file \"" + document_path + "\". " +
                          SystemErrorText(errno));
  }
  int write_error = 0;
  doc.Write([&](std::string_view chunk) {
    if (write_error || chunk.empty()) return;
    if (std::fwrite(chunk.data(), 1, chunk.size(), file) != chunk.size()) write_error = errno;
  });
  if (std::fflush(file) != 0 && !write_error) write_error = errno;
  if (std::fclose(file) != 0 && !write_error) write_error = errno;
  if (write_error) {
    throw InspectionError("Cannot write file \"" + document_path + "\". " +
                          SystemErrorText(write_error));
  }
  if (!FileExists(document_path)) {
    log.Log("Ficheiro SAFT: erro ao guardar o novo ficheiro!" + SecondLine(document_path));
    throw InspectionError("Erro ao guardar o novo ficheiro SAFT!");
  }
  log.Log("Ficheiro SAFT: novo ficheiro guardado com sucesso!" + SecondLine(document_path));
}

}  // namespace verifax
