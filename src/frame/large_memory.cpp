#include "frame/large_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace tqla {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below this a block is an ordinary heap allocation.
constexpr size_t kMappedFrom = kHugePage;

size_t MappedSize(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* AllocateLarge(size_t bytes) {
  if (bytes < kMappedFrom) return std::malloc(bytes ? bytes : 1);
  // Map a huge page more than needed and cut the ends off, so that the block
  // starts on a huge-page boundary where the kernel can back it whole.
  const size_t size = MappedSize(bytes);
  void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(mapped, aligned - start);
  const uintptr_t end = start + size + kHugePage;
  if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void FreeLarge(void* block, size_t bytes) {
  if (!block) return;
  if (bytes < kMappedFrom) {
    std::free(block);
    return;
  }
  munmap(block, MappedSize(bytes));
}

}  // namespace tqla
