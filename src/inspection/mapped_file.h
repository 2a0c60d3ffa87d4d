#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "inspection/file_io.h"

namespace verifax {

/// A file mapped into memory read-only, so that its bytes are read straight from the
/// system's cache instead of being copied into fresh memory.
///
/// Another program may shorten the file while it is mapped; touching a page past the new
/// end would then kill the process with SIGBUS. A handler catches that for the mapped
/// range only: it puts a page of zeros in place, marks the mapping damaged and lets the
/// scan go on. Callers check intact() before they trust what they read.
class MappedFile {
 public:
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  /// Maps a whole regular, non-empty file; nullptr when mapping is not possible here (the
  /// caller then reads the file). `error_message` is set only when the file cannot be
  /// opened at all.
  static std::unique_ptr<MappedFile> Open(const std::string& path, std::string& error_message);

  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  const std::optional<FileIdentity>& identity() const { return identity_; }

  /// False once the file was written to since it was mapped (its mapping then shows
  /// other bytes) or a page of it could not be read (the file was cut short). A file that
  /// was replaced by another under the same name does not count: the mapping keeps the
  /// old one.
  bool intact() const;

 private:
  MappedFile() = default;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  int slot_ = -1;
  int fd_ = -1;
  std::optional<FileIdentity> identity_;
};

}  // namespace verifax
