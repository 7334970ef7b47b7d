// The fieldbus demonstration traffic of the simulated pod, timed for a
// capture at 12 MHz: CAN at 500 kbit/s on channel 0, low-speed USB with D+ on
// channel 1 and D- on channel 2, a PS/2 keyboard with data on channel 3 and
// clock on channel 4. Every bus is idle at the ends, so the traffic loops.
#pragma once

#include <cstdint>
#include <vector>

namespace tqla::sim {

constexpr uint32_t kFieldbusPeriod = 262144;

// Draws the traffic into the digital bits of words (kFieldbusPeriod of them),
// leaving the other bits alone.
void RenderFieldbus(std::vector<uint32_t>& words);

}  // namespace tqla::sim
