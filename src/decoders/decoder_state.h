// State every bus decoder run shares: the record file bookkeeping the packet
// engine reads, and the name and timestamp mode that shape record headers.
#pragma once

#include <cstdint>

namespace tqla {

constexpr int kDecoderNameSize = 256;

struct DecoderState {
  // Bytes written so far to the current record file, each newline counted as
  // two (the file has CR LF line ends); packets point back into it.
  uint32_t RecordOffset = 0;
  // Sample rate of the running decoder in Hz; read by the packet time-out.
  uint32_t DecoderSampleRate = 0;
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

}  // namespace tqla
