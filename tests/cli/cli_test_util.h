#pragma once

// Helpers shared by the command-line tests: scratch folders and whole-file bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <stdlib.h>
#include <sys/stat.h>
#endif

namespace verifax::testing {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

inline fs::path Fixture(const std::string& name) {
  return fs::path(VERIFAX_FIXTURES) / name;
}

/// A fresh folder under the system's temporary folder, removed with everything in it
/// (write rights given back first) when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "verifax-cli-XXXXXX").string();
#ifdef _WIN32
    path_ = fs::path(pattern).replace_filename("verifax-cli-" + std::to_string(++counter_));
    fs::create_directories(path_);
#else
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
    // Reachable by the unprivileged user of the permission tests.
    chmod(path_.c_str(), 0755);
#endif
  }
  ~ScratchDir() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const fs::path& path() const {
    return path_;
  }

  /// Copies a fixture into `folder` (relative to this folder) under `name`.
  fs::path CopyFixture(const std::string& fixture, const std::string& name,
                       const std::string& folder = "") const {
    fs::path dir = path_ / folder;
    fs::create_directories(dir);
    fs::path target = dir / name;
    fs::copy_file(Fixture(fixture), target, fs::copy_options::overwrite_existing);
    return target;
  }

 private:
  fs::path path_;
#ifdef _WIN32
  static inline int counter_ = 0;
#endif
};

}  // namespace verifax::testing
