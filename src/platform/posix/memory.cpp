#include "platform/memory.h"

#include <sys/mman.h>
#include <sys/sysinfo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tqla::platform {
namespace {

uint64_t MemInfoBytes(const char* key) {
  FILE* file = std::fopen("/proc/meminfo", "r");
  if (!file) return 0;
  char line[256];
  uint64_t kib = 0;
  const size_t keyLength = std::strlen(key);
  while (std::fgets(line, sizeof line, file)) {
    if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
      kib = std::strtoull(line + keyLength + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(file);
  return kib * 1024;
}

}  // namespace

uint64_t AvailablePhysicalMemory() {
  uint64_t available = MemInfoBytes("MemAvailable");
  if (available == 0) {
    struct sysinfo info {};
    if (sysinfo(&info) == 0) available = static_cast<uint64_t>(info.freeram) * info.mem_unit;
  }
  return available;
}

void* MapAligned(size_t bytes, size_t alignment) {
  // Map one alignment unit more than needed and cut the ends off, so that the
  // block starts on a huge-page boundary where the kernel can back it whole.
  void* mapped = mmap(nullptr, bytes + alignment, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + alignment - 1) / alignment * alignment;
  if (aligned > start) munmap(mapped, aligned - start);
  const uintptr_t end = start + bytes + alignment;
  if (end > aligned + bytes) munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
  madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void UnmapAligned(void* block, size_t bytes) { munmap(block, bytes); }

}  // namespace tqla::platform
