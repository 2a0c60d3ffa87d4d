#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace verifax {

struct MallocDeleter {
  void operator()(char* p) const { std::free(p); }
};

/// Identity of a file, to tell whether it is still the one that was read.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = -1;
  std::int64_t modified_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// The identity of an open file; nullopt when the platform cannot tell.
std::optional<FileIdentity> IdentityOfOpenFile(int fd);

/// A file's bytes in a malloc'd buffer of `capacity` >= `size` bytes.
struct ReadFileResult {
  bool ok = false;
  std::unique_ptr<char, MallocDeleter> data;
  std::int64_t size = 0;
  std::int64_t capacity = 0;
  std::string error_message;             ///< "Cannot open file "<path>". <reason>" when !ok
  std::optional<FileIdentity> identity;  ///< of the file as it was opened
};

/// The path of a UTF-8 file name, for this platform's file calls.
std::filesystem::path PathFromUtf8(const std::string& utf8);

/// True when `path` names something that exists and is not a folder.
bool FileExists(const std::string& path);

/// Reads a whole file in one go, leaving `spare` bytes of room after its contents. Large
/// buffers are asked for in huge pages where the system offers them: filling fresh memory
/// page by page costs more than reading the file.
ReadFileResult ReadWholeFile(const std::string& path, std::int64_t spare);

/// The operating system's text for an error number.
std::string SystemErrorText(int error_number);

}  // namespace verifax
