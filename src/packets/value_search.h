// Searching a protocol's ring for start and end values, and trimming the
// ring to where a start value begins.
#pragma once

#include <cstdint>

#include "packets/packets_state.h"

namespace tqla::packets {

struct ValuePattern {
  const uint32_t* values;
  int count;
  uint32_t mask;  // the boundary's mask, limited to the value width
  uint32_t width;
  bool bytewise;
  int channel;
};

ValuePattern PatternOf(const Boundary& boundary, bool bytewise, int channel);

// A walk that starts at tail, stepping over the first skip entries.
ValueWalk BeginWalk(const EntryRing& ring, uint32_t skip);

// Advances walk up to head. hits[i] (-1 while unknown) receives the bit
// position of the first hit of values[i]; returns true when any new hit.
bool AdvanceWalk(const EntryRing& ring, ValueWalk& walk, const ValuePattern& pattern, int64_t* hits);

// Drops everything before bit position (counted over data entries from tail);
// the entry holding it keeps only its bits from there on.
void TrimToBit(EntryRing& ring, uint64_t position);

// The entry whose bits hold bit position (counted over all entries from
// tail), or head when there is none.
uint32_t EntryHoldingBit(const EntryRing& ring, uint64_t position);

}  // namespace tqla::packets
