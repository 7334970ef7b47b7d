#include "packets/packets_state.h"

#include <initializer_list>

namespace tqla::packets {

// Zero-initialised so that its megabytes stay out of the library file.
PacketsState packetsState;
StreamPosition streamPosition;

ProtocolDef DefaultProtocol() {
  ProtocolDef def{};
  def.bytewise = 1;
  for (Boundary* b : {&def.start, &def.end}) {
    b->type = kTypeNext;
    b->mask = 0xFFFFFFFFu;
    b->valueWidth = 8;
    b->channel = kChannelX;
  }
  return def;
}

FieldDef DefaultField() {
  FieldDef field{};
  field.name = "DefaultFieldName";
  field.msbFirst = 1;
  field.channel = kChannelX;
  field.gain = 1.0;
  return field;
}

}  // namespace tqla::packets
