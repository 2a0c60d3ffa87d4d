#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace verifax {

struct MallocDeleter {
  void operator()(char* p) const { std::free(p); }
};

/// A file's bytes in a malloc'd buffer of `capacity` >= `size` bytes.
struct ReadFileResult {
  bool ok = false;
  std::unique_ptr<char, MallocDeleter> data;
  std::int64_t size = 0;
  std::int64_t capacity = 0;
  std::string error_message;  ///< "Cannot open file "<path>". <reason>" when !ok
};

/// The path of a UTF-8 file name, for this platform's file calls.
std::filesystem::path PathFromUtf8(const std::string& utf8);

/// True when `path` names something that exists and is not a folder.
bool FileExists(const std::string& path);

/// Reads a whole file in one go, leaving `spare` bytes of room after its contents.
ReadFileResult ReadWholeFile(const std::string& path, std::int64_t spare);

/// The operating system's text for an error number.
std::string SystemErrorText(int error_number);

}  // namespace verifax
