#include "inspection/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#define VERIFAX_OPEN _wopen
#define VERIFAX_READ _read
#define VERIFAX_CLOSE _close
#else
#include <sys/mman.h>
#include <unistd.h>
#define VERIFAX_OPEN ::open
#define VERIFAX_READ ::read
#define VERIFAX_CLOSE ::close
#endif

namespace verifax {

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  auto status = std::filesystem::status(PathFromUtf8(path), ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

std::string SystemErrorText(int error_number) {
  return std::generic_category().message(error_number);
}

std::optional<FileIdentity> IdentityOfOpenFile(int fd) {
#ifdef _WIN32
  (void)fd;
  return std::nullopt;
#else
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(info.st_dev);
  id.inode = static_cast<std::uint64_t>(info.st_ino);
  id.size = static_cast<std::int64_t>(info.st_size);
#if defined(__APPLE__)
  id.modified_ns = std::int64_t(info.st_mtimespec.tv_sec) * 1000000000 + info.st_mtimespec.tv_nsec;
#else
  id.modified_ns = std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
#endif
  return id;
#endif
}

namespace {

void AdviseHugePages(char* data, std::int64_t capacity) {
#if defined(__linux__)
  constexpr std::uintptr_t kHuge = 2 << 20;
  if (capacity < std::int64_t(4 * kHuge)) return;
  auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  auto end = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(capacity)) & ~(kHuge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)capacity;
#endif
}

}  // namespace

ReadFileResult ReadWholeFile(const std::string& path, std::int64_t spare) {
  ReadFileResult result;
  auto fail = [&](int error_number) {
    result.ok = false;
    result.data.reset();
    result.error_message = "Cannot open file \"" + path + "\". " + SystemErrorText(error_number);
    return std::move(result);
  };
  auto native = PathFromUtf8(path);
#ifdef _WIN32
  int fd = VERIFAX_OPEN(native.c_str(), _O_RDONLY | _O_BINARY);
#else
  int fd = VERIFAX_OPEN(native.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (fd < 0) return fail(errno);

  struct stat info {};
  std::int64_t expected = 0;
  if (fstat(fd, &info) == 0 && info.st_size > 0) expected = info.st_size;
  std::int64_t capacity = expected + spare + 1;
  char* data = static_cast<char*>(std::malloc(static_cast<std::size_t>(capacity)));
  if (!data) {
    VERIFAX_CLOSE(fd);
    throw std::bad_alloc();
  }
  AdviseHugePages(data, capacity);
  result.identity = IdentityOfOpenFile(fd);
  result.data.reset(data);
  std::int64_t size = 0;
  for (;;) {
    if (capacity - size - spare <= 0) {
      // The file is longer than it said (or is no regular file): grow.
      std::int64_t bigger = capacity * 2 + 65536;
      char* grown = static_cast<char*>(std::realloc(result.data.get(), std::size_t(bigger)));
      if (!grown) {
        VERIFAX_CLOSE(fd);
        throw std::bad_alloc();
      }
      result.data.release();
      result.data.reset(grown);
      capacity = bigger;
    }
    std::int64_t want = std::min<std::int64_t>(capacity - size - spare, 1 << 30);
    auto got = VERIFAX_READ(fd, result.data.get() + size, static_cast<unsigned>(want));
    if (got < 0) {
      if (errno == EINTR) continue;
      int error_number = errno;
      VERIFAX_CLOSE(fd);
      return fail(error_number);
    }
    if (got == 0) break;
    size += got;
  }
  // A file that changed while it was read is not the one identified above.
  if (result.identity) {
    auto after = IdentityOfOpenFile(fd);
    if (!after || !(*after == *result.identity) || after->size != size) result.identity.reset();
  }
  VERIFAX_CLOSE(fd);
  result.ok = true;
  result.size = size;
  result.capacity = capacity;
  return result;
}

}  // namespace verifax
