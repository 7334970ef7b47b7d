#include "packets/bit_transforms.h"

#include "frame/trace.h"
#include "packets/addin.h"
#include "packets/entry_ring.h"

namespace tqla::packets {
namespace {

uint32_t ZeroBitInsertion(uint32_t& ones, uint32_t limit, int bit, uint8_t* out) {
  if (ones < limit) {
    out[0] = static_cast<uint8_t>(bit);
    ones = bit ? ones + 1 : 0;
    return 1;
  }
  if (bit) {
    out[0] = 1;
    return 1;
  }
  ones = 0;
  return 0;
}

}  // namespace

uint32_t DecodeBit(uint32_t step, int bit, bool first, const char* protocolName, uint8_t* out) {
  BitDecoderState& s = packetsState.bitDecoders;
  switch (step) {
    case kStepNrzi:
      if (first) s.nrziPrevious = 0;
      out[0] = static_cast<uint8_t>(bit != s.nrziPrevious);
      s.nrziPrevious = static_cast<uint8_t>(bit);
      return 1;
    case kStepManchester:
      if (first) s.manchesterHalf = s.manchesterPhase = 0;
      if (s.manchesterPhase != 1) {
        s.manchesterHalf = static_cast<uint8_t>(bit);
        s.manchesterPhase = 1;
        return 0;
      }
      if (s.manchesterHalf != bit) {
        out[0] = static_cast<uint8_t>(bit);
        s.manchesterHalf = static_cast<uint8_t>(bit);
        s.manchesterPhase = 0;
        return 1;
      }
      // Two equal halves: the pair boundary moves by one half-bit.
      return 0;
    case kStepInvert:
      out[0] = static_cast<uint8_t>(!bit);
      return 1;
    case kStepZbi5:
      return ZeroBitInsertion(s.zbi5Ones, 5, bit, out);
    case kStepZbi6:
      return ZeroBitInsertion(s.zbi6Ones, 6, bit, out);
    case kStepAddin:
      return AddinDecode(protocolName, bit, out, first);
    default:
      out[0] = static_cast<uint8_t>(bit);
      return 1;
  }
}

void RunBitTransform(int protocol, uint32_t step) {
  EntryRing& ring = packetsState.rings[protocol];
  StreamEntry* work = packetsState.workArea;
  const char* name = packetsState.protocols[protocol].name;
  if (step == kStepAddin && !AddinLoaded()) TraceText("ADDIN step without an add-in library: bits pass unchanged");
  // A decoder that makes more bits than the ring holds loses the excess.
  const uint32_t handBack = ring.handBack;
  const uint32_t limit = kRingCapacity - handBack;
  uint32_t count = 0;
  auto emit = [&](StreamEntry e, uint8_t value, int bits) {
    if (count >= limit) return;
    e.value = value;
    e.bitCount = static_cast<int8_t>(bits);
    work[count++] = e;
  };
  bool first = true;
  uint8_t out[kAddinOutputBits];
  for (uint32_t i = ring.tail; i != ring.head; i = RingNext(i)) {
    const StreamEntry& e = ring.entries[i];
    if (e.isEvent || e.bitCount <= 0) {
      if (count < limit) work[count++] = e;
      continue;
    }
    uint8_t group = 0;
    int groupBits = 0;
    for (int b = e.bitCount - 1; b >= 0; --b) {
      const uint32_t made = DecodeBit(step, (e.value >> b) & 1, first, name, out);
      first = false;
      for (uint32_t k = 0; k < made; ++k) {
        group = static_cast<uint8_t>((group << 1) | (out[k] != 0));
        if (++groupBits == 8) {
          emit(e, group, 8);
          group = 0;
          groupBits = 0;
        }
      }
    }
    if (groupBits) emit(e, group, groupBits);
  }
  for (uint32_t k = 0; k < handBack; ++k) work[count + k] = ring.entries[(ring.head + k) & kRingMask];
  for (uint32_t k = 0; k < count + handBack; ++k) ring.entries[k] = work[k];
  ring.tail = 0;
  ring.head = count;
  RecomputeMeasures(ring);
}

namespace {

// Entries that a substitution compares: data, and events that carry 8 bits.
bool Compared(const StreamEntry& e) { return !e.isEvent || e.bitCount == 8; }

bool RuleMatches(const EntryRing& ring, uint32_t at, const SubstitutionRule& rule) {
  for (int k = 0; k < rule.fromCount; at = RingNext(at)) {
    if (at == ring.head) return false;
    const StreamEntry& e = ring.entries[at];
    if (!Compared(e)) continue;
    if (e.value != rule.from[k]) return false;
    ++k;
  }
  return true;
}

void ApplyRule(EntryRing& ring, uint32_t at, const SubstitutionRule& rule) {
  for (int k = 0; k < rule.fromCount; at = RingNext(at)) {
    StreamEntry& e = ring.entries[at];
    if (!Compared(e)) continue;
    if (k < rule.toCount) {
      e.value = rule.to[k];
    } else {
      e.value = 0;
      e.bitCount = 0;
    }
    ++k;
  }
}

}  // namespace

void RunSubstitutions(int protocol) {
  EntryRing& ring = packetsState.rings[protocol];
  const ProtocolDef& def = packetsState.protocols[protocol];
  const int rules = def.ruleCount > kMaxDecodeSteps ? kMaxDecodeSteps : def.ruleCount;
  for (uint32_t at = ring.tail; at != ring.head; at = RingNext(at)) {
    for (int r = 0; r < rules; ++r) {
      if (RuleMatches(ring, at, def.rules[r])) {
        ApplyRule(ring, at, def.rules[r]);
        break;
      }
    }
  }
  RecomputeMeasures(ring);
}

}  // namespace tqla::packets
