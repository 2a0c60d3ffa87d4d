// verifax-prefault MIB: touches MIB mebibytes of fresh memory and gives them back.
//
// For the benchmark only. On virtual machines whose host lends memory lazily, the first
// write to a page the guest has not used lately costs a trip to the host, and that can
// make writing a file of half a gigabyte take seconds instead of a tenth of one, at
// random. Running this just before a timed command leaves it memory that is ready, so
// that `cp` and the program are measured on the same footing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  char* end = nullptr;
  unsigned long long mib = argc == 2 ? std::strtoull(argv[1], &end, 10) : 0;
  if (argc != 2 || *end != '\0' || mib == 0) {
    std::fprintf(stderr, "usage: verifax-prefault MIB\n");
    return 64;
  }
  const std::size_t size = static_cast<std::size_t>(mib) << 20;
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    std::perror("verifax-prefault: mmap");
    return 1;
  }
  const long page = ::sysconf(_SC_PAGESIZE);
  auto* bytes = static_cast<volatile char*>(memory);
  for (std::size_t i = 0; i < size; i += static_cast<std::size_t>(page)) bytes[i] = 1;
  ::munmap(memory, size);
  return 0;
}
