// The protocol model: what a protocol definition file says about up to seven
// protocol layers, in fixed storage. Text members point into the parser's
// file buffer.
#pragma once

#include <cstdint>

namespace tqla::packets {

constexpr int kMaxProtocols = 7;
constexpr int kMaxMatchValues = 15;    // START / END values
constexpr int kMaxDecodeSteps = 15;    // decode steps and substitutions together
constexpr int kMaxSubstitutionBytes = 3;
constexpr int kMaxLookupTables = 64;
constexpr int kMaxLookupEntries = 255;
constexpr int kMaxFieldLines = 127;
constexpr int kMaxFieldsPerLine = 127;
constexpr int kMaxDecimalPlaces = 9;

enum PacketBoundary : uint8_t {
  kTypeNext = 1,
  kTypeSignal = 2,
  kTypeValue = 3,
  kTypeLength = 4,
  kTypeEvent = 5,
  kTypeTimeout = 6,
};

enum DecodeStep : uint32_t {
  kStepNrzi = 1,
  kStepManchester = 4,
  kStepSubstitution = 8,
  kStepAddin = 16,
  kStepInvert = 32,
  kStepZbi5 = 64,
  kStepZbi6 = 128,
};

enum Channel : uint8_t { kChannelX = 1, kChannelY = 2, kChannelXorY = 3 };

enum Radix : uint8_t { kRadixNone = 0, kRadixAscii = 1, kRadixBinary = 2, kRadixDecimal = 10, kRadixHex = 16 };

struct SubstitutionRule {
  uint8_t from[kMaxSubstitutionBytes];
  uint8_t fromCount;
  uint8_t to[kMaxSubstitutionBytes];
  uint8_t toCount;
};

struct LookupTable {
  const char* name;
  uint8_t count;  // the engine reads it as signed: 127 entries are usable
  uint32_t values[kMaxLookupEntries + 1];
  const char* labels[kMaxLookupEntries + 1];
};

struct FieldDef {
  uint8_t busEvent;
  int8_t eventCode;
  uint8_t variable;
  uint8_t msbFirst;
  uint8_t byteSwap;
  uint8_t channel;
  uint8_t conditional;
  uint8_t hidden;
  uint8_t radix;
  uint8_t trueFalse;
  uint8_t lookup;
  int8_t decimalPlaces;
  int32_t bits;
  uint32_t bitPosition;
  int32_t conditionalValue;
  double gain;
  double offset;
  char* text;  // points into the parser's buffer, which turns its `_` into blanks
  const char* name;
  char* label;
};

struct FieldLine {
  uint8_t count;
  FieldDef fields[kMaxFieldsPerLine];
};

// One condition of the packet detector: where a packet starts or ends.
struct Boundary {
  uint8_t type;
  uint32_t code;
  uint32_t mask;
  uint32_t values[kMaxMatchValues + 1];
  int8_t valueCount;
  uint8_t valueWidth;
  uint8_t channel;
};

struct ProtocolDef {
  const char* name;
  uint8_t bytewise;
  Boundary start;
  Boundary end;
  uint8_t exclude;
  double timeout;  // microseconds
  int32_t length;  // bits or bytes; -1 when a field gives it
  uint8_t lengthInBytes;
  const char* lengthFieldName;
  float lengthGain;
  int32_t lengthOffset;
  uint32_t lengthFieldPosition;
  int32_t lengthFieldWidth;
  uint8_t lengthFieldMsbFirst;
  uint8_t lengthFieldByteSwap;
  uint32_t decodeSteps[kMaxDecodeSteps + 1];
  uint8_t decodeStepCount;
  SubstitutionRule rules[kMaxDecodeSteps + 1];
  uint8_t ruleCount;
  uint8_t lookupTableCount;
  uint8_t fieldLineCount;
};

// Defaults every protocol and every field starts from.
ProtocolDef DefaultProtocol();
FieldDef DefaultField();

}  // namespace tqla::packets
