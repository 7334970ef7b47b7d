// State every bus decoder run shares with the packet engine.
#pragma once

#include <cstdint>

namespace tqla {

struct DecoderState {
  // Bytes written so far to the current record file, each newline counted as
  // two (the file has CR LF line ends); packets point back into it.
  uint32_t RecordOffset = 0;
  // Sample rate of the running decoder in Hz; read by the packet time-out.
  uint32_t DecoderSampleRate = 0;
};

extern DecoderState decoderState;

}  // namespace tqla
