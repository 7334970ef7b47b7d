#include "packets/packet_detector.h"

#include "frame/console.h"
#include "packets/entry_ring.h"
#include "packets/field_extraction.h"
#include "packets/number_text.h"
#include "packets/value_search.h"
#include "packets/packets_state.h"

namespace tqla::packets {
namespace {

bool OnChannel(const StreamEntry& e, int channel) { return channel == kChannelXorY || e.channel == channel; }

bool EventMatches(const StreamEntry& e, const Boundary& b) {
  if (!OnChannel(e, b.channel) || !e.isEvent) return false;
  return b.type == kTypeSignal ? e.value == b.code : (e.value & b.code) != 0;
}

bool SearchesChannel(const Boundary& b, int channel) {
  return b.channel == kChannelXorY || b.channel == channel;
}

// A new packet's end search starts behind its first entry.
void BeginPacket(EntryRing& ring) {
  ring.inPacket = 1;
  ring.endWalk[0] = ring.endWalk[1] = BeginWalk(ring, 1);
  ring.lengthKnown = 0;
}

bool EndByValue(EntryRing& ring, const ProtocolDef& def) {
  int64_t hits[2][kMaxMatchValues];
  bool any = false;
  for (int c = kChannelX; c <= kChannelY; ++c) {
    for (int64_t& hit : hits[c - 1]) hit = -1;
    if (!SearchesChannel(def.end, c)) continue;
    const ValuePattern pattern = PatternOf(def.end, def.bytewise, c);
    any |= AdvanceWalk(ring, ring.endWalk[c - 1], pattern, hits[c - 1]);
  }
  if (!any) return false;
  const ValuePattern pattern = PatternOf(def.end, def.bytewise, kChannelX);
  for (int i = 0; i < pattern.count; ++i) {
    for (int c = kChannelX; c <= kChannelY; ++c) {
      const int64_t hit = hits[c - 1][i];
      if (hit < 0) continue;
      ConsolePrint("End Value %d found\n", static_cast<int>(def.end.values[i]));
      if (def.exclude) {
        // The packet keeps at least its first entry, so that a hand-back
        // can never bring the same packet round again.
        const uint32_t first = EntryHoldingBit(ring, static_cast<uint64_t>(hit));
        if (first != ring.head && first != ring.tail) HandBackFrom(ring, first);
      }
      return true;
    }
  }
  return false;
}

bool EndByLength(EntryRing& ring, const ProtocolDef& def) {
  const int64_t unit = def.lengthInBytes ? 8 : 1;
  if (def.length != -1) {
    if (static_cast<int64_t>(ring.bitsTotal) < static_cast<int64_t>(def.length) * unit) return false;
    ConsolePrint("End Fixed length %d found\n", def.length);
    return true;
  }
  if (!ring.lengthKnown) {
    const Extracted field = ExtractField(ring, def.lengthFieldPosition, def.lengthFieldWidth, def.end.channel,
                                         def.lengthFieldMsbFirst, def.lengthFieldByteSwap);
    if (!field.available) return false;
    ring.lengthKnown = 1;
    ring.lengthValue = field.value;
  }
  const float scaled = static_cast<float>(ring.lengthValue) * def.lengthGain;
  const int64_t needed = (TruncateSaturated(scaled) + def.lengthOffset) * unit;
  if (static_cast<int64_t>(ring.bitsTotal) < needed) return false;
  ConsolePrint("End Variable length %d found.  Data In Stream %d\n", static_cast<int>(needed),
               static_cast<int>(BitsOnChannel(ring, def.end.channel)));
  return true;
}

// Whether entry e (at index, gap samples after the one before it) ends the
// open packet.
bool EndReached(EntryRing& ring, const ProtocolDef& def, const StreamEntry& e, uint32_t index, int64_t gap) {
  switch (def.end.type) {
    case kTypeSignal:
    case kTypeEvent:
      if (!EventMatches(e, def.end)) return false;
      if (def.exclude && index != ring.tail) HandBackFrom(ring, index);
      return true;
    case kTypeValue:
      return EndByValue(ring, def);
    case kTypeLength:
      return EndByLength(ring, def);
    case kTypeTimeout: {
      // Without a sample rate no time passes.
      const uint32_t rate = streamPosition.DecoderSampleRate;
      if (rate == 0 || gap < 0) return false;
      const int64_t micros = gap * 1000000 / rate;
      if (static_cast<double>(micros) < def.timeout) return false;
      if (index != ring.tail) HandBackFrom(ring, index);
      return true;
    }
    default:
      return true;
  }
}

void StartByValue(EntryRing& ring, const ProtocolDef& def) {
  const uint32_t oldTail = ring.tail;
  for (int c = kChannelX; c <= kChannelY && !ring.inPacket; ++c) {
    if (!SearchesChannel(def.start, c)) continue;
    const ValuePattern all = PatternOf(def.start, def.bytewise, c);
    for (int i = 0; i < all.count; ++i) {
      ValuePattern one = all;
      one.values = &all.values[i];
      one.count = 1;
      ValueWalk walk = BeginWalk(ring, 0);
      int64_t hit = -1;
      if (!AdvanceWalk(ring, walk, one, &hit)) continue;
      ConsolePrint("Value %d found\n", static_cast<int>(all.values[i]));
      TrimToBit(ring, static_cast<uint64_t>(hit));
      ring.inPacket = 1;
    }
  }
  // The scan never looks at entries the trim dropped.
  if (RingDistance(oldTail, ring.scan) < RingDistance(oldTail, ring.tail)) ring.scan = ring.tail;
}

}  // namespace

bool DetectPacket(int protocol) {
  EntryRing& ring = packetsState.rings[protocol];
  const ProtocolDef& def = packetsState.protocols[protocol];
  while (ring.scan != ring.head) {
    const uint32_t index = ring.scan;
    const StreamEntry e = ring.entries[index];
    const int64_t gap = static_cast<int64_t>(e.sampleIndex) - packetsState.lastSampleIndex;
    packetsState.lastSampleIndex = e.sampleIndex;
    ring.scan = RingNext(index);
    ring.handBack = 0;

    if (ring.inPacket) {
      if (EndReached(ring, def, e, index, gap)) {
        ring.inPacket = 0;
        return true;
      }
      continue;
    }

    switch (def.start.type) {
      case kTypeSignal:
      case kTypeEvent:
        if (EventMatches(e, def.start)) {
          DropUpTo(ring, index);
          ring.inPacket = 1;
        }
        break;
      case kTypeValue:
        StartByValue(ring, def);
        break;
      default:
        if (OnChannel(e, def.start.channel)) {
          DropUpTo(ring, index);
          ring.inPacket = 1;
        }
        break;
    }
    if (ring.inPacket) {
      ConsolePrint("A Packet Started!\n");
      BeginPacket(ring);
      continue;
    }
    if (BitsOnChannel(ring, def.start.channel) >= def.start.valueWidth + 8u) DropOldest(ring);
  }
  return false;
}

}  // namespace tqla::packets
