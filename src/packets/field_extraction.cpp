#include "packets/field_extraction.h"

#include "packets/entry_ring.h"
#include "packets/packets_state.h"

namespace tqla::packets {
namespace {

bool OnChannel(const StreamEntry& e, int channel) { return IsData(e) && e.channel == channel; }

uint32_t SwapBytes(uint32_t value, int64_t width) {
  if (width <= 8) return value;
  if (width <= 16) return (value & 0xFFFF0000u) | ((value & 0xFFu) << 8) | ((value >> 8) & 0xFFu);
  if (width <= 24) return (value & 0xFF00FF00u) | ((value & 0xFFu) << 16) | ((value >> 16) & 0xFFu);
  return __builtin_bswap32(value);
}

// Places the cursor on the entry of channel that holds bit position, or on
// head when the channel has no such bit.
void Seek(const EntryRing& ring, uint64_t position, int channel, BitCursor& cursor) {
  if (cursor.channel != channel) cursor = BitCursor{ring.tail, 0, channel};
  while (cursor.bitsBefore > position && cursor.index != ring.tail) {
    cursor.index = RingPrevious(cursor.index);
    const StreamEntry& e = ring.entries[cursor.index];
    if (OnChannel(e, channel)) cursor.bitsBefore -= static_cast<uint32_t>(e.bitCount);
  }
  for (; cursor.index != ring.head; cursor.index = RingNext(cursor.index)) {
    const StreamEntry& e = ring.entries[cursor.index];
    if (!OnChannel(e, channel)) continue;
    const uint32_t bits = static_cast<uint32_t>(e.bitCount);
    if (position < cursor.bitsBefore + bits) return;
    cursor.bitsBefore += bits;
  }
}

}  // namespace

Extracted ExtractField(const EntryRing& ring, int64_t position, int64_t width, int channel, bool msbFirst,
                       bool byteSwap, BitCursor* cursor) {
  Extracted out{false, 0, 0, static_cast<int32_t>(streamPosition.RecordOffset), 0,
                static_cast<int32_t>(streamPosition.RecordOffset)};
  if (width <= 0) {
    out.available = width == 0;
    return out;
  }
  if (position < 0) return out;
  BitCursor local;
  BitCursor& at = cursor ? *cursor : local;
  Seek(ring, static_cast<uint64_t>(position), channel, at);
  if (at.index == ring.head) return out;

  uint32_t index = at.index;
  uint32_t skip = static_cast<uint32_t>(static_cast<uint64_t>(position) - at.bitsBefore);
  uint64_t taken = 0;
  uint32_t value = 0;
  uint32_t last = index;
  const uint64_t want = static_cast<uint64_t>(width);
  out.firstSample = ring.entries[index].sampleIndex;
  out.firstOffset = ring.entries[index].fileOffset;
  for (; index != ring.head && taken < want; index = RingNext(index)) {
    const StreamEntry& e = ring.entries[index];
    if (!OnChannel(e, channel)) continue;
    const uint32_t bits = static_cast<uint32_t>(e.bitCount);
    uint32_t count = bits - skip;
    if (count > want - taken) count = static_cast<uint32_t>(want - taken);
    const uint32_t shift = bits - skip - count;
    const uint32_t chunk = (static_cast<uint32_t>(e.value) >> shift) & ((1u << count) - 1u);
    if (msbFirst) {
      value = static_cast<uint32_t>((static_cast<uint64_t>(value) << count) | chunk);
    } else {
      for (int b = static_cast<int>(count) - 1; b >= 0; --b) {
        value >>= 1;
        if (want <= 32) {
          const uint32_t top = 1u << (want - 1);
          value = (value & ~top) | (((chunk >> b) & 1u) ? top : 0u);
        }
      }
    }
    taken += count;
    skip = 0;
    last = index;
  }
  if (taken < want) return Extracted{false, 0, out.firstSample, out.firstOffset, 0, out.afterOffset};
  out.available = true;
  out.value = byteSwap ? SwapBytes(value, width) : value;
  const uint32_t after = RingNext(last);
  if (after != ring.head) {
    out.afterSample = ring.entries[after].sampleIndex;
    out.afterOffset = ring.entries[after].fileOffset;
  } else {
    out.afterSample = ring.entries[last].sampleIndex;
  }
  return out;
}

bool BusEventTest(const EntryRing& ring, uint64_t position, int code) {
  uint64_t sum = 0;
  bool reached = position == 0;
  for (uint32_t i = ring.tail; i != ring.head; i = RingNext(i)) {
    const StreamEntry& e = ring.entries[i];
    sum += static_cast<uint32_t>(e.bitCount);
    if (sum > position) return reached && code < 0;
    if (sum < position) continue;
    reached = true;
    if (!e.isEvent) continue;
    if (code >= 0 && e.value == code) return true;
    if (code < 0 && e.value == -code) return false;
  }
  return reached && code < 0;
}

}  // namespace tqla::packets
