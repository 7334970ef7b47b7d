// The exports that shape record headers for the runs that follow.
#include <cstdio>

#include "decoders/decoder_state.h"
#include "frame/export.h"

using namespace tqla;

extern "C" {

// A null name empties the name.
int32_t TQLA_API DecodeSetName(char* name) {
  return Guarded<int32_t>("DecodeSetName", 0, [&] {
    std::snprintf(decoderState.DecoderName, sizeof decoderState.DecoderName, "%s", name ? name : "");
    return 0;
  });
}

int32_t TQLA_API StartTimestamp(char relative) {
  return Guarded<int32_t>("StartTimestamp", 0, [&] {
    decoderState.TimestampFirst = 1;
    decoderState.TimestampRelative = static_cast<uint8_t>(relative);
    return 0;
  });
}

}  // extern "C"
