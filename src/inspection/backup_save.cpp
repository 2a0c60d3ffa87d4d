#include "inspection/backup_save.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "inspection/errors.h"
#include "inspection/file_io.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
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

std::string SecondLine(const std::string& inner) {
  return "\r\n     (" + inner + ")";
}

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

namespace {

// Gives the document a second name at `backup` (following a symbolic link to its target).
bool LinkBackup(const std::filesystem::path& document, const std::filesystem::path& backup) {
#ifdef _WIN32
  auto target = document;
  std::error_code ec;
  if (std::filesystem::is_symlink(document, ec)) target = std::filesystem::canonical(document, ec);
  return !ec && ::CreateHardLinkW(backup.c_str(), target.c_str(), nullptr);
#else
  return ::linkat(AT_FDCWD, document.c_str(), AT_FDCWD, backup.c_str(), AT_SYMLINK_FOLLOW) == 0;
#endif
}

// Copies `from` to `to` through a temporary name, flushed to the disk before the rename, so
// that a file at `to` is always whole.
bool CopyWhole(const std::filesystem::path& from, const std::filesystem::path& to) {
  auto partial = to;
  partial += ".partial";
  std::error_code ec;
  std::filesystem::copy_file(from, partial, std::filesystem::copy_options::overwrite_existing, ec);
#ifndef _WIN32
  if (!ec) {
    int fd = ::open(partial.c_str(), O_RDONLY | O_CLOEXEC);  // fsync needs no write access
    if (fd < 0 || ::fsync(fd) != 0) ec = std::error_code(errno, std::generic_category());
    if (fd >= 0) ::close(fd);
  }
#endif
  if (!ec) std::filesystem::rename(partial, to, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
    return false;
  }
  return true;
}

}  // namespace

BackupResult BackupFile(const std::string& document_path, const std::tm& local_time, LogSink& log) {
  if (!FileExists(document_path)) {
    log.Log("Ficheiro SAFT (Backup): ficheiro não existe!" + SecondLine(document_path));
    throw InspectionError("Erro ao efetuar backup do ficheiro SAFT!\r\nFicheiro não existe.");
  }
  BackupResult result;
  result.path = BackupFileName(document_path, local_time);
  auto backup = PathFromUtf8(result.path);
  auto document = PathFromUtf8(document_path);
  std::error_code ec;
  if (FileExists(result.path)) std::filesystem::remove(backup, ec);  // same second: replace
  // A hard link costs nothing and is as safe as a copy here, because the save never
  // writes into the document's file: it puts a new file in its place.
  result.linked = LinkBackup(document, backup);
  if (!result.linked && !CopyWhole(document, backup)) {
    log.Log("Ficheiro SAFT (Backup): não é possível renomear o ficheiro!" +
            SecondLine(Arrow(document_path, result.path)));
    throw InspectionError(
        "Erro ao efetuar backup do ficheiro SAFT!\r\n"
        "Não é possível renomear o ficheiro.\r\n" +
        Arrow(document_path, result.path));
  }
  log.Log("Ficheiro SAFT (Backup): sucesso!" + SecondLine(Arrow(document_path, result.path)));
  return result;
}

void DetachBackup(const BackupResult& backup) {
  if (!backup.linked) return;
  auto path = PathFromUtf8(backup.path);
  auto copy = path;
  copy += ".detached";
  if (CopyWhole(path, copy)) {
    std::error_code ec;
    std::filesystem::rename(copy, path, ec);
    if (ec) std::filesystem::remove(copy, ec);
  }
}

namespace {

#if defined(__linux__)
// Hands what has been written to a file to the disk, in the background and from a thread
// of its own: getting the blocks ready for the disk costs the system some work, which
// then goes on beside the copying into the file rather than between its writes.
class Writeback {
 public:
  explicit Writeback(int fd) : fd_(fd) {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      // No thread: Upto does the work itself.
    }
  }
  ~Writeback() { Stop(); }
  Writeback(const Writeback&) = delete;
  Writeback& operator=(const Writeback&) = delete;

  // The file's first `end` bytes may go to the disk.
  void Upto(std::int64_t end) {
    if (!thread_.joinable()) {
      Start(handed_, end);
      handed_ = end;
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wanted_ = end;
    }
    wake_.notify_one();
  }

  // Waits for the thread; after this the file descriptor is no longer used.
  void Stop() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

 private:
  void Start(std::int64_t from, std::int64_t to) {
    if (to > from) ::sync_file_range(fd_, from, to - from, SYNC_FILE_RANGE_WRITE);
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || wanted_ > handed_; });
      if (wanted_ <= handed_) return;  // stopping, and nothing left
      const std::int64_t from = handed_, to = wanted_;
      lock.unlock();
      Start(from, to);
      lock.lock();
      handed_ = to;
    }
  }

  const int fd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::int64_t wanted_ = 0;  // bytes that may go
  std::int64_t handed_ = 0;  // bytes handed to the disk
  bool stopping_ = false;
  std::thread thread_;
};
#endif

// Writes the text to a new file beside the document and only then puts it in the
// document's place, so that whatever happens on the way (a full disk, a crash, a lost
// power supply) the document is either wholly old or wholly new. Returns an error message,
// empty on success.
class ReplacementFile {
 public:
  explicit ReplacementFile(std::filesystem::path target) : target_(std::move(target)) {}
  ~ReplacementFile() { Discard(); }

  // Creates the temporary file in the target's folder. errno tells why it failed.
  bool Create() {
#ifdef _WIN32
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      temp_ = target_;
      temp_ += L".verifax-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(attempt) + L".tmp";
      fd_ = _wopen(temp_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
      if (fd_ < 0 && errno != EEXIST) return false;
    }
    return fd_ >= 0;
#else
    std::string pattern = target_.string() + ".verifax-XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) return false;
    temp_ = pattern;
#if defined(__linux__)
    try {
      writeback_ = std::make_unique<Writeback>(fd_);
    } catch (const std::bad_alloc&) {
      // Without it the flush before the rename does all the work.
    }
#endif
    return true;
#endif
  }

  // Writes all of `data`; false (errno set) on failure.
  bool Write(std::string_view data) {
    while (!data.empty()) {
#ifdef _WIN32
      int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 1 << 30));
      int written = _write(fd_, data.data(), chunk);
#else
      ssize_t written = ::write(fd_, data.data(), data.size());
#endif
      if (written < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data.remove_prefix(static_cast<std::size_t>(written));
      StartWriteback(written);
    }
    return true;
  }

  // Starts writing what has been put in the file so far to the disk, in the background,
  // once enough has gathered: the flush before the rename then has little left to do.
  void StartWriteback(std::int64_t added) {
#if defined(__linux__)
    constexpr std::int64_t kBatch = 32 << 20;
    unflushed_ += added;
    written_ += added;
    if (unflushed_ >= kBatch && writeback_) {
      writeback_->Upto(written_);
      unflushed_ = 0;
    }
#else
    (void)added;
#endif
  }

  // Flushes to the disk, takes the document's permission bits and replaces it.
  bool Commit() {
#ifdef _WIN32
    if (_commit(fd_) != 0) return false;
    if (_close(fd_) != 0) {
      fd_ = -1;
      return false;
    }
    fd_ = -1;
    if (!::MoveFileExW(temp_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      errno = EACCES;
      return false;
    }
#else
    struct stat info {};
    if (::stat(target_.c_str(), &info) == 0) {
      ::fchmod(fd_, info.st_mode & 07777);
      if (::geteuid() == 0) (void)!::fchown(fd_, info.st_uid, info.st_gid);
    }
    StopWriteback();
    if (::fsync(fd_) != 0) return false;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return false;
    // Make the new directory entry durable too.
    int dir = ::open(target_.parent_path().empty() ? "." : target_.parent_path().c_str(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
#endif
    temp_.clear();
    return true;
  }

  void Discard() {
    int saved = errno;
    StopWriteback();
    if (fd_ >= 0) {
#ifdef _WIN32
      _close(fd_);
#else
      ::close(fd_);
#endif
      fd_ = -1;
    }
    if (!temp_.empty()) {
      std::error_code ec;
      std::filesystem::remove(temp_, ec);
      temp_.clear();
    }
    errno = saved;
  }

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
  std::int64_t written_ = 0;    // bytes in the file
  std::int64_t unflushed_ = 0;  // of which not yet handed to the disk
#if defined(__linux__)
  std::unique_ptr<Writeback> writeback_;  // stopped before fd_ is closed
#endif

  void StopWriteback() {
#if defined(__linux__)
    writeback_.reset();
#endif
  }
};

// Writes the document into the replacement file through a buffer: a repair costs no
// system call of its own, and the system copies from a small buffer that stays in the
// processor's cache. (Handing the system long views of the file's mapping instead, or
// having it copy from the file itself, is slower.)
class SaveSink : public WriteSink {
 public:
  explicit SaveSink(ReplacementFile& out) : out_(out) { buffer_.reserve(kBuffer); }

  void Bytes(std::string_view bytes) override {
    while (!error_ && !bytes.empty()) {
      std::size_t take = std::min(kBuffer - buffer_.size(), bytes.size());
      buffer_.append(bytes.data(), take);
      bytes.remove_prefix(take);
      if (buffer_.size() == kBuffer) Flush();
    }
  }

  /// Writes out what is buffered; call once at the end.
  void Flush() {
    if (!error_ && !buffer_.empty() && !out_.Write(buffer_)) error_ = errno ? errno : EIO;
    buffer_.clear();
  }

  int error() const { return error_; }

 private:
  // Writes of a megabyte or more make the system keep the new file's cache in large
  // blocks, which on some virtual machines costs several times as much to fill.
  static constexpr std::size_t kBuffer = 256 << 10;

  ReplacementFile& out_;
  std::string buffer_;
  int error_ = 0;
};

// The file that the document path stands for: a symbolic link is followed, so that the
// link stays a link and its target gets the new text.
std::filesystem::path ResolveTarget(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    auto resolved = std::filesystem::canonical(path, ec);
    if (!ec) return resolved;
  }
  return path;
}

}  // namespace

void SaveFile(const std::string& document_path, Document& doc, LogSink& log) {
  auto target = ResolveTarget(PathFromUtf8(document_path));
  auto cannot_create = [&](int error_number) {
    return InspectionError("Cannot create file \"" + document_path + "\". " +
                           SystemErrorText(error_number));
  };

  // A document that may not be written is refused before anything is written, as an
  // in-place write would be: the rename below would otherwise slip past its read-only flag.
#ifdef _WIN32
  int probe = _wopen(target.c_str(), _O_WRONLY | _O_BINARY);
  if (probe >= 0) _close(probe);
#else
  int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (probe >= 0) ::close(probe);
#endif
  if (probe < 0 && errno != ENOENT) throw cannot_create(errno);

  if (!doc.SourceIntact()) throw InspectionError(FileChangedMessage(document_path));
  ReplacementFile replacement(target);
  if (!replacement.Create()) throw cannot_create(errno);
  SaveSink sink(replacement);
  doc.Write(sink);
  sink.Flush();
  if (!doc.SourceIntact()) {
    // Changed while it was being written out: what was written cannot be trusted.
    replacement.Discard();
    throw InspectionError(FileChangedMessage(document_path));
  }
  int write_error = sink.error();
  if (!write_error && !replacement.Commit()) write_error = errno ? errno : EIO;
  if (write_error) {
    replacement.Discard();
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
