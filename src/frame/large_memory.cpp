#include "frame/large_memory.h"

#include <cstdlib>

#include "platform/memory.h"

namespace tqla {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below this a block is an ordinary heap allocation.
constexpr size_t kMappedFrom = kHugePage;

size_t MappedSize(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* AllocateLarge(size_t bytes) {
  if (bytes < kMappedFrom) return std::malloc(bytes ? bytes : 1);
  return platform::MapAligned(MappedSize(bytes), kHugePage);
}

void FreeLarge(void* block, size_t bytes) {
  if (!block) return;
  if (bytes < kMappedFrom) {
    std::free(block);
    return;
  }
  platform::UnmapAligned(block, MappedSize(bytes));
}

}  // namespace tqla
