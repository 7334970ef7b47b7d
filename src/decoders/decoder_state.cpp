#include "decoders/decoder_state.h"

namespace tqla {

DecoderState decoderState;

}  // namespace tqla
