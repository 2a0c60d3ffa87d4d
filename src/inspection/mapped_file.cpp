#include "inspection/mapped_file.h"

#if defined(__linux__)
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#endif

namespace verifax {

#if defined(__linux__)

namespace {

// Mapped ranges the SIGBUS handler may repair. Plain atomics: the handler reads them
// without locks.
constexpr int kSlots = 16;
struct Slot {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<bool> damaged{false};
};
Slot g_slots[kSlots];
std::mutex g_slots_mutex;  // for claiming and releasing slots
struct sigaction g_previous_handler;
std::once_flag g_handler_installed;

void OnBusError(int signal, siginfo_t* info, void* context) {
  auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Slot& slot : g_slots) {
    if (address >= slot.begin.load() && address < slot.end.load()) {
      long page = ::sysconf(_SC_PAGESIZE);
      auto page_start = address & ~static_cast<std::uintptr_t>(page - 1);
      // Zeros in place of the lost page; the faulting read then runs again and succeeds.
      void* fixed = ::mmap(reinterpret_cast<void*>(page_start), static_cast<std::size_t>(page),
                           PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
      if (fixed != MAP_FAILED) {
        slot.damaged.store(true);
        return;
      }
    }
  }
  // Not ours: behave as before this handler existed.
  if (g_previous_handler.sa_flags & SA_SIGINFO) {
    if (g_previous_handler.sa_sigaction)
      return g_previous_handler.sa_sigaction(signal, info, context);
  } else if (g_previous_handler.sa_handler != SIG_DFL && g_previous_handler.sa_handler != SIG_IGN) {
    return g_previous_handler.sa_handler(signal);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void InstallHandler() {
  struct sigaction action {};
  action.sa_sigaction = &OnBusError;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &g_previous_handler);
}

int ClaimSlot(const char* data, std::size_t size) {
  std::lock_guard<std::mutex> lock(g_slots_mutex);
  for (int i = 0; i < kSlots; ++i) {
    if (g_slots[i].end.load() == 0) {
      g_slots[i].damaged.store(false);
      g_slots[i].begin.store(reinterpret_cast<std::uintptr_t>(data));
      g_slots[i].end.store(reinterpret_cast<std::uintptr_t>(data) + size);
      return i;
    }
  }
  return -1;
}

void ReleaseSlot(int i) {
  std::lock_guard<std::mutex> lock(g_slots_mutex);
  g_slots[i].end.store(0);
  g_slots[i].begin.store(0);
}

}  // namespace

std::unique_ptr<MappedFile> MappedFile::Open(const std::string& path, std::string& error_message) {
  std::call_once(g_handler_installed, InstallHandler);
  int fd = ::open(PathFromUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error_message = "Cannot open file \"" + path + "\". " + SystemErrorText(errno);
    return nullptr;
  }
  auto identity = IdentityOfOpenFile(fd);
  if (!identity || identity->size <= 0) {
    ::close(fd);
    return nullptr;
  }
  auto size = static_cast<std::size_t>(identity->size);
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<MappedFile> file(new MappedFile());
  file->fd_ = fd;
  file->data_ = static_cast<const char*>(data);
  file->size_ = size;
  file->identity_ = identity;
  file->slot_ = ClaimSlot(file->data_, size);
  if (file->slot_ < 0) return nullptr;  // too many at once: the caller reads instead
  return file;
}

MappedFile::~MappedFile() {
  if (slot_ >= 0) ReleaseSlot(slot_);
  if (data_) ::munmap(const_cast<char*>(data_), size_);
  if (fd_ >= 0) ::close(fd_);
}

bool MappedFile::intact() const {
  if (slot_ >= 0 && g_slots[slot_].damaged.load()) return false;
  auto now = IdentityOfOpenFile(fd_);
  return now && identity_ && *now == *identity_;
}

#else

std::unique_ptr<MappedFile> MappedFile::Open(const std::string&, std::string&) {
  return nullptr;
}
MappedFile::~MappedFile() = default;
bool MappedFile::intact() const {
  return true;
}

#endif

}  // namespace verifax
