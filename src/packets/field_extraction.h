// Taking a field's bits out of a packet, and testing for bus events at a bit
// position.
#pragma once

#include <cstdint>

#include "packets/packets_state.h"

namespace tqla::packets {

// Remembers where a channel's bits were last found, so that the fields and
// chunks of one packet, taken in order, do not walk the ring from tail each
// time. Valid only while the ring does not change.
struct BitCursor {
  uint32_t index = 0;
  uint64_t bitsBefore = 0;  // bits of the channel before the entry at index
  int channel = 0;          // 0: not placed yet
};

struct Extracted {
  bool available;
  uint32_t value;
  uint32_t firstSample;  // entry holding the first taken bit
  int32_t firstOffset;
  uint32_t afterSample;  // entry after the one holding the last taken bit
  int32_t afterOffset;   // RecordOffset when that entry would be head
};

// Bits position .. position + width - 1 of the data entries on channel.
Extracted ExtractField(const EntryRing& ring, int64_t position, int64_t width, int channel, bool msbFirst,
                       bool byteSwap, BitCursor* cursor = nullptr);

// Whether the bus event code (negative: the absence of event -code) stands
// at bit position, counted over the entries of every channel.
bool BusEventTest(const EntryRing& ring, uint64_t position, int code);

}  // namespace tqla::packets
