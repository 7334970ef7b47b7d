#include "decoders/decoder_state.h"

#include "decoders/decoder_frame.h"
#include "packets/packets_state.h"

namespace tqla {

DecoderState decoderState;

void ResetDecoders() {
  decoderState = DecoderState{};
  packets::streamPosition = packets::StreamPosition{};
  decoders::SetWalkMode(decoders::WalkMode::kChanges);
}

}  // namespace tqla
