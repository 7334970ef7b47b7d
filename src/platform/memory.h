// Memory figures and large blocks from the operating system.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tqla::platform {

// Bytes of physical memory available to a new allocation now; 0 when the
// system does not say.
uint64_t AvailablePhysicalMemory();

// A block of bytes (a whole number of alignment units) starting on an
// alignment boundary, mapped straight from the system and zero-filled, in
// large pages where the system backs it so; null when refused.
void* MapAligned(size_t bytes, size_t alignment);
// Returns a block of MapAligned of that size.
void UnmapAligned(void* block, size_t bytes);

}  // namespace tqla::platform
