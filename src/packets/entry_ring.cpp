#include "packets/entry_ring.h"

namespace tqla::packets {
namespace {

void Measure(EntryRing& ring, int channel, int bits) {
  ring.bitsTotal += static_cast<uint32_t>(bits);
  if (channel == kChannelX) ring.bitsX += static_cast<uint32_t>(bits);
  if (channel == kChannelY) ring.bitsY += static_cast<uint32_t>(bits);
}

}  // namespace

void ResetRing(EntryRing& ring) {
  ring.head = ring.tail = ring.scan = 0;
  ring.inPacket = 0;
  ring.handBack = 0;
  ring.bitsTotal = ring.bitsX = ring.bitsY = 0;
  ring.lengthKnown = 0;
}

bool PushEntry(EntryRing& ring, const StreamEntry& entry) {
  if (RingNext(ring.head) == ring.tail) return false;
  ring.entries[ring.head] = entry;
  ring.head = RingNext(ring.head);
  Measure(ring, entry.channel, entry.bitCount);
  return true;
}

void DropOldest(EntryRing& ring) {
  if (ring.tail == ring.head) return;
  const StreamEntry& e = ring.entries[ring.tail];
  Measure(ring, e.channel, -e.bitCount);
  ring.tail = RingNext(ring.tail);
}

void DropUpTo(EntryRing& ring, uint32_t index) {
  while (ring.tail != index && ring.tail != ring.head) DropOldest(ring);
}

void HandBackFrom(EntryRing& ring, uint32_t index) {
  uint32_t count = 0;
  while (ring.head != index && ring.head != ring.tail) {
    ring.head = RingPrevious(ring.head);
    const StreamEntry& e = ring.entries[ring.head];
    Measure(ring, e.channel, -e.bitCount);
    ++count;
  }
  ring.handBack += count;
}

void ClosePacket(EntryRing& ring) {
  ring.tail = ring.head;
  ring.scan = ring.head;
  ring.head = (ring.head + ring.handBack) & kRingMask;
  ring.handBack = 0;
  RecomputeMeasures(ring);
}

void EntryBitsChanged(EntryRing& ring, const StreamEntry& entry, int oldBits) {
  Measure(ring, entry.channel, entry.bitCount - oldBits);
}

void RecomputeMeasures(EntryRing& ring) {
  ring.bitsTotal = ring.bitsX = ring.bitsY = 0;
  for (uint32_t i = ring.tail; i != ring.head; i = RingNext(i)) {
    Measure(ring, ring.entries[i].channel, ring.entries[i].bitCount);
  }
}

uint32_t BitsOnChannel(const EntryRing& ring, int channel) {
  switch (channel) {
    case kChannelX:
      return ring.bitsX;
    case kChannelY:
      return ring.bitsY;
    case kChannelXorY:
      return ring.bitsTotal;
    default:
      return 0;
  }
}

}  // namespace tqla::packets
