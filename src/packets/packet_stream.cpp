// SendDataStream: every decoded value and bus event enters the engine here.
#include "packets/packet_stream.h"

#include "frame/export.h"
#include "packets/bit_transforms.h"
#include "packets/entry_ring.h"
#include "packets/packet_detector.h"
#include "packets/packet_output.h"

namespace tqla::packets {

void FeedEntry(int protocol, const StreamEntry& entry) {
  EntryRing& ring = packetsState.rings[protocol];
  const ProtocolDef& def = packetsState.protocols[protocol];
  const bool debug = packetsState.parser.packetDebug != 0;
  PushEntry(ring, entry);
  while (DetectPacket(protocol)) {
    if (debug) WriteDebugRecord(protocol);
    const int steps = def.decodeStepCount > kMaxDecodeSteps + 1 ? kMaxDecodeSteps + 1 : def.decodeStepCount;
    for (int s = 0; s < steps; ++s) {
      const uint32_t step = def.decodeSteps[s];
      switch (step) {
        case kStepNrzi:
        case kStepManchester:
        case kStepAddin:
        case kStepInvert:
        case kStepZbi5:
        case kStepZbi6:
          RunBitTransform(protocol, step);
          break;
        default:
          if (step & kStepSubstitution) RunSubstitutions(protocol);
          break;
      }
    }
    if (debug) WriteDebugRecord(protocol);
    WritePacket(protocol);
    ClosePacket(ring);
    if (debug) WriteDebugRecord(protocol);
  }
}

}  // namespace tqla::packets

extern "C" {

// Protocols outside 0-6, and every call before the first
// InitializeRedodoRovodovoz, are ignored. A bit count outside 0-8 is taken
// as the nearest of them: an entry holds one byte.
int32_t TQLA_API SendDataStream(int32_t protocol, uint32_t sampleIndex, uint8_t value, char bitCount, char channel,
                                char isEvent, int32_t fileOffset) {
  return tqla::Guarded<int32_t>("SendDataStream", 0, [&]() -> int32_t {
    using namespace tqla::packets;
    if (protocol < 0 || protocol >= kMaxProtocols || !packetsState.modelReady) return 0;
    const int bits = bitCount < 0 ? 0 : (bitCount > 8 ? 8 : bitCount);
    FeedEntry(protocol, StreamEntry{value, static_cast<int8_t>(bits), static_cast<int8_t>(channel),
                                    static_cast<int8_t>(isEvent != 0), sampleIndex, fileOffset});
    return 0;
  });
}

}  // extern "C"
