// The USB identity of the pod's FX2 controllers. The pod hardware fixes these;
// they are configuration constants here (the simulated pod uses the same).
#pragma once

#include <cstdint>

namespace tqla {

constexpr uint16_t PodVendorId = 0x1209;
constexpr uint16_t PodProductId = 0x0001;

// An FX2 that has not loaded its own descriptors enumerates with the chip
// maker's defaults; the real-pod backend lists those too.
constexpr uint16_t Fx2DefaultVendorId = 0x04B4;
constexpr uint16_t Fx2DefaultProductId = 0x8613;

}  // namespace tqla
