// Blocks of memory for sample buffers: large ones come straight from the
// system, in huge pages where the kernel offers them, so that making and
// filling a buffer of gigabytes costs page faults by the hundred, not by the
// hundred thousand.
#pragma once

#include <cstddef>

namespace tqla {

// A block of at least bytes (aligned for any sample word), or null.
void* AllocateLarge(size_t bytes);
// Frees a block of AllocateLarge of that size.
void FreeLarge(void* block, size_t bytes);

}  // namespace tqla
