// State every bus decoder run shares: the name and timestamp mode that shape
// record headers. The record file's offset and the run's sample rate are the
// packet engine's stream position (packets/packets_state.h), which the frame
// keeps.
#pragma once

#include <cstdint>

namespace tqla {

constexpr int kDecoderNameSize = 256;

struct DecoderState {
  // Printed after the timestamp of every record header; kept between runs.
  char DecoderName[kDecoderNameSize] = {};
  // Nonzero: each timestamp counts from the previous one, not the trigger.
  uint8_t TimestampRelative = 0;
  // In relative mode the next timestamp reads zero.
  uint8_t TimestampFirst = 0;
  // Sample index of the previous relative timestamp.
  uint32_t LastTimestampSample = 0;
};

extern DecoderState decoderState;

// Puts the decoders' shared state back as the library loads it: no name,
// absolute timestamps, the record offset and rate at 0, change-to-change walks.
void ResetDecoders();

}  // namespace tqla
