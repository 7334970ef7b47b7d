// The entry ring of one protocol: entries from tail to head, with its bit
// measures kept as running sums so that no measure walks the ring.
#pragma once

#include <cstdint>

#include "packets/packets_state.h"

namespace tqla::packets {

inline uint32_t RingNext(uint32_t index) { return (index + 1) & kRingMask; }
inline uint32_t RingPrevious(uint32_t index) { return (index - 1) & kRingMask; }
// Entries from `from` up to, not including, `to`.
inline uint32_t RingDistance(uint32_t from, uint32_t to) { return (to - from) & kRingMask; }

inline bool IsData(const StreamEntry& e) { return e.isEvent == 0 && e.bitCount > 0; }

// Empty ring, closed packet, no history.
void ResetRing(EntryRing& ring);

// Appends at head; false (and nothing changes) when the ring is full.
bool PushEntry(EntryRing& ring, const StreamEntry& entry);

// Moves tail forward by one entry, or up to `index`.
void DropOldest(EntryRing& ring);
void DropUpTo(EntryRing& ring, uint32_t index);

// Takes the entries from index up to head out of the packet; they are handed
// back to the stream when the packet closes.
void HandBackFrom(EntryRing& ring, uint32_t index);

// Closes the packet: the handed-back entries become the ring's content and
// the first ones the next scan examines.
void ClosePacket(EntryRing& ring);

// Adjusts the measures after an entry between tail and head changed its bit
// count from oldBits.
void EntryBitsChanged(EntryRing& ring, const StreamEntry& entry, int oldBits);

// Rebuilds the measures by walking tail to head (after a decode step).
void RecomputeMeasures(EntryRing& ring);

// Bits of the entries on channel (1 X, 2 Y; 3 all of them).
uint32_t BitsOnChannel(const EntryRing& ring, int channel);

}  // namespace tqla::packets
