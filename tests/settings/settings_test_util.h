#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "inspection/file_io.h"

namespace verifax::settings_test {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    std::uint64_t tag = (std::uint64_t(random()) << 32) ^ random();
    path_ = std::filesystem::temp_directory_path() / ("verifax-settings-" + std::to_string(tag));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  /// The UTF-8 path of `name` inside the folder.
  std::string File(const std::string& name) const {
    auto utf8 = (path_ / name).u8string();
    return std::string(utf8.begin(), utf8.end());
  }

 private:
  std::filesystem::path path_;
};

inline bool Exists(const std::string& path) {
  return std::filesystem::exists(PathFromUtf8(path));
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(PathFromUtf8(path), std::ios::binary);
  out << bytes;
}

}  // namespace verifax::settings_test
