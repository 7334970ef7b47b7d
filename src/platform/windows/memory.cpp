#include "platform/memory.h"

#include <windows.h>

namespace tqla::platform {

uint64_t AvailablePhysicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0;
}

// VirtualAlloc hands out blocks on 64 KiB boundaries; a larger alignment is
// reached by reserving one unit more and committing the aligned part. Large
// pages need a privilege hosts rarely hold, so the block uses normal pages.
void* MapAligned(size_t bytes, size_t alignment) {
  char* reserved = static_cast<char*>(VirtualAlloc(nullptr, bytes + alignment, MEM_RESERVE, PAGE_NOACCESS));
  if (!reserved) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(reserved);
  const uintptr_t aligned = (start + alignment - 1) / alignment * alignment;
  VirtualFree(reserved, 0, MEM_RELEASE);
  // Reserve exactly the aligned range; another thread may take it in between,
  // so fall back to an unaligned block rather than fail.
  void* block = VirtualAlloc(reinterpret_cast<void*>(aligned), bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!block) block = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  return block;
}

void UnmapAligned(void* block, size_t) { VirtualFree(block, 0, MEM_RELEASE); }

}  // namespace tqla::platform
