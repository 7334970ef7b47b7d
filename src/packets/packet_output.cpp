#include "packets/packet_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "frame/console.h"
#include "packets/entry_ring.h"
#include "packets/field_extraction.h"
#include "packets/number_text.h"
#include "packets/packet_stream.h"
#include "packets/packets_state.h"

namespace tqla::packets {
namespace {

int ChannelIndex(const FieldDef& field) { return field.channel == kChannelY ? 1 : 0; }
int ChannelOf(const FieldDef& field) { return field.channel == kChannelY ? kChannelY : kChannelX; }
bool IsDataField(const FieldDef& field) { return !field.busEvent && !field.text; }
int64_t WidthOf(const FieldDef& field) { return std::clamp<int64_t>(field.bits, 0, kMaxFieldBits); }

// The value text of one field, built by appending; it never grows past its
// buffer.
class ValueText {
 public:
  ValueText() : text_(packetsState.valueText) { text_[0] = '\0'; }
  bool Full() const { return length_ >= kValueTextSize - 1; }
  const char* c_str() const { return text_; }
  void Append(const char* piece) {
    const size_t room = kValueTextSize - 1 - length_;
    const size_t n = std::min(std::strlen(piece), room);
    std::memcpy(text_ + length_, piece, n);
    length_ += n;
    text_[length_] = '\0';
  }
  void Replace(const char* piece) {
    length_ = 0;
    text_[0] = '\0';
    Append(piece);
  }

 private:
  char* text_;
  size_t length_ = 0;
};

void SetVariableWidth(const EntryRing& ring, FieldLine& line) {
  FieldDef* variable = nullptr;
  for (int f = 0; f < line.count; ++f) {
    if (line.fields[f].variable) variable = &line.fields[f];
  }
  if (!variable) return;
  int64_t others = 0;
  for (int f = 0; f < line.count; ++f) {
    const FieldDef& field = line.fields[f];
    if (&field != variable && field.channel == variable->channel) others += field.bits;
  }
  const int64_t width = int64_t{BitsOnChannel(ring, variable->channel)} - others;
  variable->bits = width < 1 ? 0 : static_cast<int32_t>(std::min(width, kMaxFieldBits));
}

bool LineFits(const EntryRing& ring, FieldLine& line) {
  int64_t counter[2] = {0, 0};
  BitCursor cursors[2];
  for (int f = 0; f < line.count; ++f) {
    FieldDef& field = line.fields[f];
    const int c = ChannelIndex(field);
    field.bitPosition = static_cast<uint32_t>(counter[c]);
    if (field.busEvent) {
      if (!BusEventTest(ring, field.bitPosition, field.eventCode)) return false;
    } else if (field.conditional) {
      const Extracted x = ExtractField(ring, field.bitPosition, WidthOf(field), ChannelOf(field), field.msbFirst,
                                       field.byteSwap, &cursors[c]);
      if (static_cast<int32_t>(x.available ? x.value : 0) != field.conditionalValue) return false;
    }
    counter[c] += field.bits;
  }
  return true;
}

bool FindLabel(int protocol, const char* table, int32_t value, const char*& label) {
  const ProtocolDef& def = packetsState.protocols[protocol];
  for (int t = 0; t < def.lookupTableCount && t < kMaxLookupTables; ++t) {
    const LookupTable& lookup = packetsState.lookupTables[protocol][t];
    if (!lookup.name || std::strcmp(lookup.name, table) != 0) continue;
    const int count = static_cast<int8_t>(lookup.count);
    for (int e = 0; e < count; ++e) {
      if (lookup.values[e] == static_cast<uint32_t>(value)) {
        label = lookup.labels[e];
        return true;
      }
    }
    return false;
  }
  return false;
}

void FormatChunk(ValueText& text, const FieldDef& field, int64_t chunkBits, double scaled, int32_t v) {
  char piece[64];
  switch (field.radix) {
    case kRadixBinary: {
      int n = 0;
      for (int64_t b = chunkBits - 1; b >= 0; --b) piece[n++] = ((static_cast<uint32_t>(v) >> b) & 1u) ? '1' : '0';
      piece[n] = '\0';
      break;
    }
    case kRadixDecimal:
      if (field.decimalPlaces > 0) {
        std::snprintf(piece, sizeof piece, "%.*f", std::min<int>(field.decimalPlaces, kMaxDecimalPlaces), scaled);
      } else {
        std::snprintf(piece, sizeof piece, "%d", v);
      }
      break;
    case kRadixHex: {
      if (chunkBits == 0) {
        piece[0] = '\0';
        break;
      }
      const int digits = chunkBits <= 4 ? 1 : static_cast<int>(std::min<int64_t>((chunkBits + 3) / 4, 8));
      std::snprintf(piece, sizeof piece, "%0*X", digits, static_cast<uint32_t>(v));
      break;
    }
    case kRadixAscii:
      if (v >= 0x20 && v < 0x7F && v != '"' && v != ',') {
        std::snprintf(piece, sizeof piece, "%c", v);
      } else {
        std::snprintf(piece, sizeof piece, "[%X]", static_cast<uint32_t>(v));
      }
      break;
    default:
      piece[0] = '\0';
      break;
  }
  text.Append(piece);
}

const char* FieldValueText(int protocol, const EntryRing& ring, const FieldDef& field, BitCursor& cursor) {
  ValueText text;
  if (field.radix == kRadixNone) return text.c_str();
  const int64_t width = WidthOf(field);
  const int64_t chunkBits = width > 32 ? 8 : width;
  for (int64_t at = 0; at == 0 || at < width; at += chunkBits) {
    if (at > 0) text.Append(" ");
    if (text.Full()) break;
    const int64_t bits = std::min(chunkBits, width - at);
    const Extracted x = ExtractField(ring, int64_t{field.bitPosition} + at, bits, ChannelOf(field), field.msbFirst,
                                     field.byteSwap, &cursor);
    const double scaled = static_cast<double>(x.available ? x.value : 0) * field.gain + field.offset;
    const int32_t v = TruncateToInt32(scaled);
    const char* label = nullptr;
    if (field.trueFalse) {
      text.Append(v ? "True" : "False");
    } else if (field.lookup && FindLabel(protocol, field.name, v, label)) {
      text.Replace(label ? label : "");
    } else {
      FormatChunk(text, field, bits, scaled, v);
    }
    if (chunkBits == 0) break;
  }
  if (field.label) text.Append(field.label);
  return text.c_str();
}

void WriteRecord(int protocol, const EntryRing& ring, const FieldLine& line, uint32_t firstSample,
                 int32_t firstOffset) {
  FILE* file = packetsState.outputFile;
  if (!file) return;
  const char* name = packetsState.protocols[protocol].name;
  std::fprintf(file, "%s,%d,", name ? name : "", static_cast<int32_t>(firstSample));
  BitCursor cursors[2];
  for (int f = 0; f < line.count; ++f) {
    const FieldDef& field = line.fields[f];
    if (field.busEvent) continue;
    if (field.text) {
      std::fprintf(file, "%s,%s,", " ", field.text);
    } else if (!field.hidden) {
      std::fprintf(file, "%s,%s,", field.name, FieldValueText(protocol, ring, field, cursors[ChannelIndex(field)]));
    }
  }
  std::fprintf(file, "EoP, ,%d,%d\r\n", firstOffset, static_cast<int32_t>(streamPosition.RecordOffset));
}

// Hands the field's bits to protocol `layer` in bytes, then marks its end.
void PassToLayer(const EntryRing& ring, const FieldDef& field, int layer) {
  const int64_t width = WidthOf(field);
  const int channel = ChannelOf(field);
  int64_t at = field.bitPosition;
  int64_t step = 8;
  if (field.byteSwap == field.msbFirst) {
    step = -8;
    if (width % 8 == 0) at = int64_t{field.bitPosition} + width - 8;
  }
  BitCursor cursor;
  for (int64_t remaining = width; remaining > 0;) {
    const int64_t bits = std::min<int64_t>(8, remaining);
    const Extracted x = ExtractField(ring, at, bits, channel, field.msbFirst, field.byteSwap, &cursor);
    FeedEntry(layer, StreamEntry{static_cast<uint8_t>(x.value), static_cast<int8_t>(bits),
                                 static_cast<int8_t>(channel), 0, x.firstSample, x.firstOffset});
    if (bits == 8) at += step;
    remaining -= bits;
  }
  const Extracted whole = ExtractField(ring, field.bitPosition, width, channel, true, false, &cursor);
  FeedEntry(layer, StreamEntry{127, 0, static_cast<int8_t>(channel), 1, whole.afterSample, whole.afterOffset});
}

void WriteLine(int protocol, const EntryRing& ring, const FieldLine& line) {
  const ProtocolDef& def = packetsState.protocols[protocol];
  const bool empty = ring.tail == ring.head;
  const uint32_t firstSample = empty ? 0 : ring.entries[ring.tail].sampleIndex;
  const int32_t firstOffset = empty ? 0 : ring.entries[ring.tail].fileOffset;
  ConsolePrint("\n%s Layer at %d\n", def.name ? def.name : "", static_cast<int32_t>(firstSample));
  if (ring.bitsTotal == 0) return;

  bool allHidden = true;
  for (int f = 0; f < line.count; ++f) allHidden &= IsDataField(line.fields[f]) && line.fields[f].hidden;
  if (!allHidden) WriteRecord(protocol, ring, line, firstSample, firstOffset);

  for (int f = 0; f < line.count; ++f) {
    const FieldDef& field = line.fields[f];
    for (int q = 0; q < packetsState.parser.protocolCount && q < kMaxProtocols; ++q) {
      const char* layerName = packetsState.protocols[q].name;
      // A protocol that is writing a packet itself is never fed: a field
      // named after its own protocol, or a ring of layers, would not end.
      if (!layerName || packetsState.writing[q] || std::strcmp(field.name, layerName) != 0) continue;
      PassToLayer(ring, field, q);
    }
  }
}

}  // namespace

void WritePacket(int protocol) {
  const EntryRing& ring = packetsState.rings[protocol];
  const ProtocolDef& def = packetsState.protocols[protocol];
  packetsState.writing[protocol] = 1;
  for (int l = 0; l < def.fieldLineCount && l < kMaxFieldLines; ++l) {
    FieldLine& line = packetsState.fieldLines[protocol][l];
    SetVariableWidth(ring, line);
    if (LineFits(ring, line)) {
      WriteLine(protocol, ring, line);
      break;
    }
  }
  packetsState.writing[protocol] = 0;
}

void WriteDebugRecord(int protocol) {
  FILE* file = packetsState.outputFile;
  if (!file) return;
  const EntryRing& ring = packetsState.rings[protocol];
  std::fputs("Packet Debug, ,", file);
  for (uint32_t i = ring.tail; i != ring.head; i = RingNext(i)) {
    const StreamEntry& e = ring.entries[i];
    const char* kind = e.isEvent ? (i == ring.scan ? "EVENT *" : "EVENT") : (i == ring.scan ? "DATA *" : "DATA");
    std::fprintf(file, "%s,%02X,", kind, e.value);
  }
  std::fputs("EoP, ,1,10\r\n", file);
}

}  // namespace tqla::packets
