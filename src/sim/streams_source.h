// The simulated pod's second demonstration source: four more buses, timed for
// a capture at 1 MHz (one sample per microsecond), over one period of the
// built-in generators.
//
// Channel wiring:
//   0      1-Wire: reset, presence and a ROM read; a temperature conversion;
//          a scratchpad read (standard speed, line idle high)
//   1-3    I2S: bit clock 1, word select 2, data 3; 16-bit stereo, data on the
//          second rising clock edge after the word-select change, left word
//          with word select low, 8 samples per bit (a sine left, a cosine right)
//   4-6    synchronous serial: clock 4 (data taken on the rise), data 5, chip
//          select 6 (active low); frames of four 9-bit words, most significant
//          bit first, an address word (bit 8 set) and three data words
//   7-15   parallel: strobe 7 (falls while data 8-15 is valid), one byte of
//          text every 32 samples
#pragma once

#include <cstdint>
#include <vector>

namespace tqla::sim {

// Draws the four buses on the digital channels of words (other bits alone).
void RenderStreamsTraffic(std::vector<uint32_t>& words);

}  // namespace tqla::sim
