#include "packets/value_search.h"

#include "packets/entry_ring.h"

namespace tqla::packets {

ValuePattern PatternOf(const Boundary& boundary, bool bytewise, int channel) {
  const uint32_t width = boundary.valueWidth;
  const uint32_t ones = width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u;
  const int count = boundary.valueCount < 0 ? 0 : boundary.valueCount;
  return {boundary.values, count > kMaxMatchValues ? kMaxMatchValues : count, ones & boundary.mask, width, bytewise,
          channel};
}

ValueWalk BeginWalk(const EntryRing& ring, uint32_t skip) {
  ValueWalk walk{ring.tail, 0, 0, 0};
  for (; skip > 0 && walk.next != ring.head; --skip) {
    const StreamEntry& e = ring.entries[walk.next];
    walk.position += static_cast<uint32_t>(e.bitCount);
    walk.next = RingNext(walk.next);
  }
  return walk;
}

bool AdvanceWalk(const EntryRing& ring, ValueWalk& walk, const ValuePattern& pattern, int64_t* hits) {
  bool found = false;
  auto check = [&](int64_t hitPosition) {
    if (walk.taken < pattern.width) return;
    for (int i = 0; i < pattern.count; ++i) {
      if (hits[i] < 0 && (walk.accumulator & pattern.mask) == (pattern.values[i] & pattern.mask)) {
        hits[i] = hitPosition;
        found = true;
      }
    }
  };
  for (; walk.next != ring.head; walk.next = RingNext(walk.next)) {
    const StreamEntry& e = ring.entries[walk.next];
    const uint32_t bits = static_cast<uint32_t>(e.bitCount);
    if (e.channel != pattern.channel) {
      walk.position += bits;
      continue;
    }
    if (e.isEvent || bits == 0) continue;
    if (pattern.bytewise) {
      walk.accumulator = (walk.accumulator << bits) | e.value;
      walk.taken += bits;
      check(static_cast<int64_t>(walk.position + bits) - pattern.width);
      walk.position += bits;
    } else {
      for (int b = static_cast<int>(bits) - 1; b >= 0; --b) {
        walk.accumulator = (walk.accumulator << 1) | ((e.value >> b) & 1u);
        ++walk.taken;
        // The hit counts from the bit after the one just taken, as pods'
        // packet lists have always shown it.
        check(static_cast<int64_t>(walk.position + 2) - pattern.width);
        ++walk.position;
      }
    }
  }
  return found;
}

void TrimToBit(EntryRing& ring, uint64_t position) {
  uint64_t before = 0;
  while (ring.tail != ring.head) {
    StreamEntry& e = ring.entries[ring.tail];
    if (IsData(e)) {
      const uint32_t bits = static_cast<uint32_t>(e.bitCount);
      if (position < before + bits) {
        const uint32_t keep = bits - static_cast<uint32_t>(position - before);
        const int old = e.bitCount;
        e.bitCount = static_cast<int8_t>(keep);
        e.value = static_cast<uint8_t>(e.value & ((1u << keep) - 1u));
        EntryBitsChanged(ring, e, old);
        return;
      }
      before += bits;
    }
    DropOldest(ring);
  }
}

uint32_t EntryHoldingBit(const EntryRing& ring, uint64_t position) {
  uint64_t sum = 0;
  for (uint32_t i = ring.tail; i != ring.head; i = RingNext(i)) {
    const uint32_t bits = static_cast<uint32_t>(ring.entries[i].bitCount);
    if (sum >= position || sum + bits > position) return i;
    sum += bits;
  }
  return ring.head;
}

}  // namespace tqla::packets
