// State of the capture engine: the run flags, the trigger set-up and the ring
// positions of a buffered capture. The transfer threads write what the host
// polls, so everything shared between them is atomic.
#pragma once

#include <atomic>
#include <cstdint>

namespace tqla {

struct CaptureState {
  // Index of the trigger sample once the ring is rotated; 0 when there is none.
  std::atomic<uint32_t> TriggerIndex{0};
  // Analog trigger level 0-255 given to the capture start.
  std::atomic<uint32_t> AnalogTriggerLevel{0};
};

extern CaptureState captureState;

}  // namespace tqla
