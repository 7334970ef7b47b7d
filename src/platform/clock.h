// The system's millisecond tick count.
#pragma once

#include <cstdint>

namespace tqla::platform {

// Milliseconds since the system started, wrapping at 2^32.
uint32_t TickCount();

}  // namespace tqla::platform
