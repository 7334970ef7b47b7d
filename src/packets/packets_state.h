// State of the packet engine: the protocol model and its parser, the entry
// rings, the bit decoders, the presenter output and the packet lists. All of
// it is fixed storage; only the packet lists allocate.
#pragma once

#include <cstdint>
#include <cstdio>

#include "packets/protocol_model.h"

namespace tqla::packets {

constexpr uint32_t kRingSize = 65536;
constexpr uint32_t kRingMask = kRingSize - 1;
constexpr uint32_t kRingCapacity = kRingSize - 1;  // one slot always stays empty
constexpr int kFileBufferSize = 100000;
constexpr int kOutputPathSize = 2004;
constexpr int kPacketListSlots = 4;
constexpr int kPointersPerPacket = 128;
// Error texts are cut to this size with their NUL, so that a host's usual
// 256-character buffer holds any of them.
constexpr int kErrorTextSize = 256;
constexpr int kValueTextSize = 64000;
// Fields wider than a full ring are cut to it: no packet has more bits.
constexpr int64_t kMaxFieldBits = int64_t{kRingCapacity} * 8;

struct StreamEntry {
  uint8_t value;
  int8_t bitCount;
  int8_t channel;
  int8_t isEvent;
  uint32_t sampleIndex;
  int32_t fileOffset;
};

// The running state of a value search over one channel, kept between
// entries so that a search over an open packet only looks at new entries.
struct ValueWalk {
  uint32_t next;       // ring index of the next entry to take
  uint64_t position;   // bits before the next bit, over every channel
  uint32_t accumulator;
  uint32_t taken;
};

struct EntryRing {
  StreamEntry entries[kRingSize];
  uint32_t head;
  uint32_t tail;
  uint32_t scan;
  uint8_t inPacket;
  uint32_t handBack;
  // Ring measures over tail..head, kept as running sums.
  uint32_t bitsTotal;
  uint32_t bitsX;
  uint32_t bitsY;
  // End-value search of the open packet, per channel X and Y.
  ValueWalk endWalk[2];
  // Value of a length field once all its bits have arrived.
  uint8_t lengthKnown;
  uint32_t lengthValue;
};

enum Section : uint8_t {
  kSectionChannel = 0,
  kSectionProtocol,
  kSectionPacket,
  kSectionStart,
  kSectionEnd,
  kSectionDecode,
  kSectionFields,
  kSectionDebug,
};

struct ParserState {
  char fileBuffer[kFileBufferSize + 1];
  char* cursor;  // where the next token search begins
  uint8_t section;
  int8_t protocolIndex;
  int8_t protocolCount;
  int8_t fieldLineIndex;
  int8_t fieldIndex;
  uint8_t fieldsMode;
  int8_t decimalPlaces;
  uint8_t packetDebug;
};

struct BitDecoderState {
  uint8_t nrziPrevious;
  uint8_t manchesterHalf;
  uint8_t manchesterPhase;
  uint32_t zbi5Ones;
  uint32_t zbi6Ones;
};

struct PacketList {
  char* text;
  char** pointers;
  int32_t packetCount;
};

// Where the decoded stream feeding the engine stands; the decoder frame keeps
// it as it writes, the engine reads it. Packets point back into the record
// file with RecordOffset (bytes so far, each line end counted as two: the file
// has CR LF line ends); the time-out rule reads DecoderSampleRate (Hz).
struct StreamPosition {
  uint32_t RecordOffset = 0;
  uint32_t DecoderSampleRate = 0;
};

extern StreamPosition streamPosition;

struct PacketsState {
  ProtocolDef protocols[kMaxProtocols];
  FieldLine fieldLines[kMaxProtocols][kMaxFieldLines];
  LookupTable lookupTables[kMaxProtocols][kMaxLookupTables];
  ParserState parser;
  // Set by the first initialisation since the library loaded; before it the
  // model holds no defaults and the engine ignores every entry.
  uint8_t modelReady;
  EntryRing rings[kMaxProtocols];
  StreamEntry workArea[kRingSize];
  uint32_t lastSampleIndex;
  BitDecoderState bitDecoders;
  // Protocols writing a packet right now: a layer never feeds one of them,
  // so that a field named after its own protocol cannot recurse for ever.
  uint8_t writing[kMaxProtocols];
  char valueText[kValueTextSize];
  FILE* outputFile;
  char outputPath[kOutputPathSize];
  PacketList lists[kPacketListSlots];
};

extern PacketsState packetsState;

// Closes the packet output, frees every packet list and clears the debug
// switch (which outlives a run) and the stream position.
void ResetPackets();

}  // namespace tqla::packets
