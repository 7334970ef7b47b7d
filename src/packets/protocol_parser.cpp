// Grammar of protocol definition files. The file text is preprocessed and cut
// into tokens in place; the model keeps pointers into it.
#include "packets/protocol_parser.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "frame/console.h"
#include "platform/regular_file.h"
#include "packets/number_text.h"
#include "packets/packets_state.h"

namespace tqla::packets {
namespace {

constexpr const char* kStatementSeparators = " \t\n,";
constexpr const char* kValueSeparators = " \t\n";

ParserState& parser = packetsState.parser;

class Parser {
 public:
  explicit Parser(char* errorText) : errorText_(errorText) {}

  bool Run(const char* path);

 private:
  bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  char* Next(const char* separators);
  char PeekNonBlank() const;
  char* ReadValue(const char* keyword, const char* missingEquals);
  bool ReadFile(const char* path);
  void Preprocess();
  bool Statement(char* token);
  bool Header(const char* token, bool& handled);
  bool ProtocolKeyword(char* token);
  bool BoundaryKeyword(char* token, bool isEnd);
  bool LengthSpec(const char* keyword);
  bool DecodeKeyword(char* token);
  bool AppendDecodeStep(uint32_t code);
  bool Substitution(const char* token);
  bool FieldsKeyword(char* token);
  bool FieldToken(char* token);
  bool DataFieldModifiers(char* token, FieldDef& field);
  bool LookupEntry(char* token);
  bool ResolveLengthFields();
  void RestoreBlanks();

  ProtocolDef& Current() { return packetsState.protocols[parser.protocolIndex]; }
  int Index() const { return parser.protocolIndex; }
  double Number(const char* text) {
    const NumberText n = ParseNumberText(text);
    parser.decimalPlaces = n.decimalPlaces;
    return n.value;
  }
  double Bracket(const char* text) {
    const NumberText n = ParseBracketNumber(text);
    parser.decimalPlaces = n.decimalPlaces;
    return n.value;
  }

  char* errorText_;
  int length_ = 0;
};

bool Parser::Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(errorText_, kErrorTextSize, format, args);
  va_end(args);
  return false;
}

// Works as the C library's token cutter does, on the parser's own cursor: the
// separator that ends a token becomes its NUL.
char* Parser::Next(const char* separators) {
  char* p = parser.cursor;
  p += std::strspn(p, separators);
  if (!*p) {
    parser.cursor = p;
    return nullptr;
  }
  char* end = p + std::strcspn(p, separators);
  if (*end) {
    *end = '\0';
    parser.cursor = end + 1;
  } else {
    parser.cursor = end;
  }
  return p;
}

char Parser::PeekNonBlank() const {
  const char* p = parser.cursor;
  while (*p == ' ' || *p == '\n' || *p == '\t') ++p;
  return *p;
}

// The `=` and the value after a keyword; null (with the message set) when
// either is missing.
char* Parser::ReadValue(const char* keyword, const char* missingEquals) {
  const char* equals = Next(kValueSeparators);
  if (!equals || std::strcmp(equals, "=") != 0) {
    Fail(missingEquals, keyword, Index());
    return nullptr;
  }
  char* value = Next(kValueSeparators);
  if (!value) Fail("Missing value after %s in Protocol %d", keyword, Index());
  return value;
}

// Text mode: CR LF arrives as LF.
bool Parser::ReadFile(const char* path) {
  FILE* file = OpenRegularFile(path);
  if (!file) return Fail("Can not open file %s", path ? path : "");
  char* buffer = parser.fileBuffer;
  int count = 0;
  int c;
  while (count < kFileBufferSize && (c = std::getc(file)) != EOF) {
    if (c == '\r') {
      const int after = std::getc(file);
      if (after == '\n') {
        c = '\n';
      } else if (after != EOF) {
        std::ungetc(after, file);
      }
    }
    buffer[count++] = static_cast<char>(c);
  }
  std::fclose(file);
  buffer[count] = '\0';
  length_ = count;
  ConsolePrint("Protocol File Size: %d\n", count);
  return true;
}

void Parser::Preprocess() {
  char* text = parser.fileBuffer;
  bool textRun = false;
  for (int i = 0; i < length_ && text[i]; ++i) {
    char& c = text[i];
    if (textRun && (c == ',' || c == '\t' || c == '\n' || c == ';')) textRun = false;
    if (c == ';') {
      for (; i < length_ && text[i] && text[i] != '\n'; ++i) text[i] = ' ';
      if (i >= length_ || !text[i]) break;
      continue;
    }
    if (textRun) {
      if (c == ' ') c = '_';
    } else if (c == '$') {
      textRun = true;
    } else if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
}

bool Parser::Run(const char* path) {
  if (!ReadFile(path)) return false;
  Preprocess();
  parser.cursor = parser.fileBuffer;
  while (char* token = Next(kStatementSeparators)) {
    ConsolePrint("Token: {%s}\n", token);
    if (!Statement(token)) return false;
  }
  if (!ResolveLengthFields()) return false;
  RestoreBlanks();
  return true;
}

bool Parser::Header(const char* token, bool& handled) {
  handled = true;
  if (std::strcmp(token, "[PROTOCOL]") == 0) {
    if (parser.protocolIndex + 1 >= kMaxProtocols) return Fail("Maximum number of Protocols reached");
    parser.section = kSectionProtocol;
    ++parser.protocolIndex;
    parser.protocolCount = static_cast<int8_t>(parser.protocolIndex + 1);
    parser.fieldLineIndex = -1;
    parser.fieldIndex = -1;
    return true;
  }
  static constexpr struct {
    const char* token;
    Section section;
  } kHeaders[] = {{"[PACKET]", kSectionPacket}, {"[START]", kSectionStart},   {"[END]", kSectionEnd},
                  {"[DECODE]", kSectionDecode}, {"[FIELDS]", kSectionFields}, {"[DEBUG]", kSectionDebug}};
  for (const auto& header : kHeaders) {
    if (std::strcmp(token, header.token) == 0) {
      parser.section = header.section;
      if (header.section == kSectionDebug) parser.packetDebug = 0;
      return true;
    }
  }
  handled = false;
  return true;
}

bool Parser::Statement(char* token) {
  bool handled = false;
  if (!Header(token, handled)) return false;
  if (handled) return true;
  switch (parser.section) {
    case kSectionChannel:
      return Fail("Unknown keyword %s in CHANNEL section", token);
    case kSectionPacket:
      return Fail("Unknown keyword %s in PACKET section", token);
    case kSectionDebug:
      if (std::strcmp(token, "DEBUGON") != 0) return Fail("Unknown keyword %s in DEBUG section", token);
      parser.packetDebug = 1;
      return true;
    default:
      break;
  }
  // [START], [END], [DECODE] and [FIELDS] belong to a protocol.
  if (parser.protocolIndex < 0) return Fail("Keyword %s before the first [PROTOCOL] section", token);
  switch (parser.section) {
    case kSectionProtocol:
      return ProtocolKeyword(token);
    case kSectionStart:
      return BoundaryKeyword(token, false);
    case kSectionEnd:
      return BoundaryKeyword(token, true);
    case kSectionDecode:
      return DecodeKeyword(token);
    default:
      return FieldsKeyword(token);
  }
}

bool Parser::ProtocolKeyword(char* token) {
  ProtocolDef& protocol = Current();
  if (std::strcmp(token, "NAME") == 0) {
    const char* value = ReadValue("NAME", "Missing Equals after %s in Protocol Section %d");
    if (!value) return false;
    protocol.name = value;
    ConsolePrint("Protocol Name: %s\n", value);
  } else if (std::strcmp(token, "BYTEWISE") == 0) {
    protocol.bytewise = 1;
  } else if (std::strcmp(token, "BITWISE") == 0) {
    protocol.bytewise = 0;
  } else {
    return Fail("Unknown keyword %s in PROTOCOL section", token);
  }
  return true;
}

bool Parser::BoundaryKeyword(char* token, bool isEnd) {
  static constexpr const char* kMissingEquals = "Missing Equals after %s in Protocol %d";
  ProtocolDef& protocol = Current();
  Boundary& b = isEnd ? protocol.end : protocol.start;
  auto value = [&](const char* keyword) { return ReadValue(keyword, kMissingEquals); };
  if (std::strcmp(token, "TYPE") == 0) {
    const char* word = value("TYPE");
    if (!word) return false;
    static constexpr struct {
      const char* word;
      uint8_t type;
      bool endOnly;
    } kTypes[] = {{"NEXT", kTypeNext, false},    {"SIGNAL", kTypeSignal, false}, {"VALUE", kTypeValue, false},
                  {"LENGTH", kTypeLength, true}, {"EVENT", kTypeEvent, false},   {"TIMEOUT", kTypeTimeout, true}};
    for (const auto& t : kTypes) {
      if (std::strcmp(word, t.word) == 0 && (isEnd || !t.endOnly)) b.type = t.type;
    }
    return true;
  }
  enum { kEvent, kValue, kBits, kMask, kSignal, kLevel };
  static constexpr const char* kNumberKeywords[] = {"EVENT", "VALUE", "BITS", "MASK", "SIGNAL", "LEVEL"};
  for (int k = kEvent; k <= kLevel; ++k) {
    if (std::strcmp(token, kNumberKeywords[k]) != 0) continue;
    const char* text = value(kNumberKeywords[k]);
    if (!text) return false;
    const uint32_t n = NarrowToUint32(Number(text));
    switch (k) {
      case kEvent:
        b.code = n;
        break;
      case kValue:
        b.values[b.valueCount++] = n;
        if (b.valueCount >= kMaxMatchValues + 1) {
          return Fail(isEnd ? "Maximum number of End values reached in Protocol %d"
                            : "Maximum number of Start values reached in Protocol %d",
                      Index());
        }
        break;
      case kBits:
        b.valueWidth = static_cast<uint8_t>(n);
        break;
      case kMask:
        b.mask = n;
        break;
      case kSignal:
        b.code = (n & 255u) * 16u;
        b.channel = kChannelXorY;
        break;
      default:
        b.code += n & 15u;
        break;
    }
    return true;
  }
  if (std::strcmp(token, "CHANNELX") == 0) {
    b.channel = kChannelX;
  } else if (std::strcmp(token, "CHANNELY") == 0) {
    b.channel = kChannelY;
  } else if (std::strcmp(token, "CHANNELXORY") == 0) {
    b.channel = kChannelXorY;
  } else if (isEnd && std::strcmp(token, "TIMEOUT") == 0) {
    const char* text = value("TIMEOUT");
    if (!text) return false;
    protocol.timeout = static_cast<double>(NarrowToUint32(Number(text)));
  } else if (isEnd && std::strcmp(token, "EXCLUDE") == 0) {
    protocol.exclude = 1;
  } else if (isEnd && (std::strcmp(token, "BYTELENGTH") == 0 || std::strcmp(token, "BITLENGTH") == 0)) {
    protocol.lengthInBytes = token[1] == 'Y';
    return LengthSpec("LENGTH");
  } else {
    return Fail(isEnd ? "Unknown keyword %s in END section" : "Unknown keyword %s in START section", token);
  }
  return true;
}

bool Parser::LengthSpec(const char* keyword) {
  ProtocolDef& protocol = Current();
  const char* spec = ReadValue(keyword, "Missing Equals after %s in Protocol %d");
  if (!spec) return false;
  if (std::isdigit(static_cast<unsigned char>(spec[0]))) {
    protocol.length = NarrowToInt32(Number(spec));
    ConsolePrint("Packet Length is fixed at %d bits\n", protocol.length);
    return true;
  }
  protocol.length = -1;
  protocol.lengthFieldName = spec;
  protocol.lengthOffset = 0;
  protocol.lengthGain = 1.0f;
  ConsolePrint("Packet Length is variable based on field [%s]\n", spec);
  char next = PeekNonBlank();
  if (next == '*' || next == '/') {
    const char* op = Next(kValueSeparators);
    const char* text = Next(kValueSeparators);
    if (!text) return Fail("Missing value after %s in Protocol %d", op, Index());
    const int32_t n = NarrowToInt32(Number(text));
    if (next == '*') {
      protocol.lengthGain = static_cast<float>(n);
    } else {
      protocol.lengthGain = n != 0 ? 1.0f / static_cast<float>(n) : __builtin_inff();
    }
    ConsolePrint("  length gain is %f\n", static_cast<double>(protocol.lengthGain));
    next = PeekNonBlank();
  }
  if (next == '+' || next == '-') {
    const char* op = Next(kValueSeparators);
    const char* text = Next(kValueSeparators);
    if (!text) return Fail("Missing value after %s in Protocol %d", op, Index());
    const int32_t n = NarrowToInt32(Number(text));
    protocol.lengthOffset = next == '-' ? static_cast<int32_t>(0u - static_cast<uint32_t>(n)) : n;
    ConsolePrint("  length offset is %d\n", protocol.lengthOffset);
  }
  return true;
}

bool Parser::AppendDecodeStep(uint32_t code) {
  ProtocolDef& protocol = Current();
  protocol.decodeSteps[protocol.decodeStepCount] |= code;
  if (++protocol.decodeStepCount >= kMaxDecodeSteps + 1) return Fail("Maximum number of Decodes reached");
  return true;
}

bool Parser::DecodeKeyword(char* token) {
  static constexpr struct {
    const char* word;
    uint32_t code;
  } kSteps[] = {{"NRZI", kStepNrzi},   {"MANCHESTER", kStepManchester}, {"ADDIN", kStepAddin},
                {"INVERT", kStepInvert}, {"ZBI5", kStepZbi5},          {"ZBI6", kStepZbi6}};
  for (const auto& step : kSteps) {
    if (std::strcmp(token, step.word) == 0) return AppendDecodeStep(step.code);
  }
  if (token[0] == '[') return Substitution(token);
  return Fail("Unknown keyword %s in DECODE section", token);
}

bool Parser::Substitution(const char* token) {
  ProtocolDef& protocol = Current();
  if (!protocol.bytewise) {
    return Fail(
        "Substitutions are only allowed for Bytewise streams. Either comment out the substitutions or change "
        "BITWISE to BYTEWISE.");
  }
  SubstitutionRule& rule = protocol.rules[protocol.ruleCount];
  rule = SubstitutionRule{};
  if (!AppendDecodeStep(kStepSubstitution)) return false;
  bool replacement = false;
  for (const char* p = token; *p; ++p) {
    if (*p == '=') replacement = true;
    if (*p != '[') continue;
    uint8_t* bytes = replacement ? rule.to : rule.from;
    uint8_t& count = replacement ? rule.toCount : rule.fromCount;
    if (count >= kMaxSubstitutionBytes) {
      return Fail("Maximum number of Substitution bytes reached in Protocol %d", Index());
    }
    bytes[count++] = static_cast<uint8_t>(NarrowToUint32(Bracket(p + 1)));
  }
  ++protocol.ruleCount;
  return true;
}

bool Parser::FieldsKeyword(char* token) {
  ProtocolDef& protocol = Current();
  if (std::strcmp(token, "FIELDS") == 0) {
    parser.fieldsMode = 1;
    if (parser.fieldLineIndex + 1 >= kMaxFieldLines) {
      return Fail("Maximum number of Field lines reached in Protocol %d", Index());
    }
    ++parser.fieldLineIndex;
    protocol.fieldLineCount = static_cast<uint8_t>(parser.fieldLineIndex + 1);
    parser.fieldIndex = -1;
    packetsState.fieldLines[Index()][parser.fieldLineIndex].count = 0;
    return true;
  }
  if (std::strcmp(token, "LOOKUP") == 0) {
    parser.fieldsMode = 0;
    const char* name = Next(kValueSeparators);
    if (!name) return Fail("Missing name after LOOKUP in Protocol %d", Index());
    if (protocol.lookupTableCount >= kMaxLookupTables) {
      return Fail("Maximum number of Lookup tables reached in Protocol %d", Index());
    }
    LookupTable& table = packetsState.lookupTables[Index()][protocol.lookupTableCount++];
    table.name = name;
    table.count = 0;
    return true;
  }
  return parser.fieldsMode ? FieldToken(token) : LookupEntry(token);
}

bool Parser::FieldToken(char* token) {
  if (parser.fieldLineIndex < 0) return Fail("Field %s before the first FIELDS line in Protocol %d", token, Index());
  if (parser.fieldIndex + 1 >= kMaxFieldsPerLine) {
    return Fail("Maximum number of Fields reached in Protocol %d", Index());
  }
  FieldLine& line = packetsState.fieldLines[Index()][parser.fieldLineIndex];
  ++parser.fieldIndex;
  line.count = static_cast<uint8_t>(parser.fieldIndex + 1);
  FieldDef& field = line.fields[parser.fieldIndex];
  field = DefaultField();
  if (token[0] == '$') {
    field.text = token + 1;
    ConsolePrint("StringOnly Field: [%s]\n", field.text);
    return true;
  }
  if (token[0] == '[') {
    field.busEvent = 1;
    if (token[1] == '!') {
      field.eventCode = static_cast<int8_t>(-DigitValue(token[2]));
    } else {
      field.eventCode = static_cast<int8_t>(DigitValue(token[1]));
    }
    ConsolePrint("BusEvent: [%d]\n", field.eventCode);
    return true;
  }
  return DataFieldModifiers(token, field);
}

bool Parser::DataFieldModifiers(char* token, FieldDef& field) {
  char* firstDot = std::strchr(token, '.');
  if (firstDot) *firstDot = '\0';
  field.name = token;
  ConsolePrint("FieldName: [%s]\n", token);
  if (!firstDot || !firstDot[1]) return Fail("Error looking for input modifiers for fieldname %s", token);
  char* input = firstDot + 1;
  char* secondDot = std::strchr(input, '.');
  if (secondDot) *secondDot = '\0';
  ConsolePrint("Input Modifiers [%s]\n", input);

  if (std::strchr(input, 'N')) {
    field.bits = -1;
    field.variable = 1;
    ConsolePrint("Bits In Field: Variable\n");
  } else {
    int64_t bits = 0;
    for (const char* p = input; *p >= '0' && *p <= '9'; ++p) {
      bits = bits * 10 + (*p - '0');
      if (bits > INT32_MAX) bits = INT32_MAX;
    }
    field.bits = static_cast<int32_t>(bits);
    ConsolePrint("Bits In Field: %d\n", field.bits);
  }
  if (std::strchr(input, 'M')) field.msbFirst = 1;
  if (std::strchr(input, 'B')) field.byteSwap = 1;
  if (std::strchr(input, 'X')) field.channel = kChannelX;
  if (std::strchr(input, 'Y')) field.channel = kChannelY;
  if (std::strchr(input, 'L')) field.msbFirst = 0;
  if (const char* equals = std::strchr(input, '=')) {
    field.conditional = 1;
    field.conditionalValue = NarrowToInt32(Number(equals + 1));
    ConsolePrint("Conditional Value: %d\n", field.conditionalValue);
  }

  if (!secondDot || !secondDot[1]) return Fail("Error looking for output modifiers for fieldname %s", token);
  char* output = secondDot + 1;
  ConsolePrint("Output Modifiers [%s]\n", output);
  if (char* dollar = std::strchr(output, '$')) {
    field.label = dollar + 1;
    *dollar = '\0';
  }
  if (std::strchr(output, 'H')) field.radix = kRadixHex;
  if (std::strchr(output, 'L')) {
    field.lookup = 1;
    if (!field.radix) field.radix = kRadixHex;
  }
  if (std::strchr(output, 'D')) field.radix = kRadixDecimal;
  if (std::strchr(output, 'I')) field.hidden = 1;
  if (std::strchr(output, 'B')) field.radix = kRadixBinary;
  if (std::strchr(output, 'A')) field.radix = kRadixAscii;
  if (std::strstr(output, "TF")) {
    field.trueFalse = 1;
    if (!field.radix) field.radix = kRadixHex;
  }
  auto places = [&] {
    if (parser.decimalPlaces > field.decimalPlaces) field.decimalPlaces = parser.decimalPlaces;
  };
  if (const char* star = std::strchr(output, '*')) {
    field.gain = Number(star + 1);
    places();
    ConsolePrint("Gain * %f\n", field.gain);
  }
  if (const char* slash = std::strchr(output, '/')) {
    field.gain = 1.0 / Number(slash + 1);
    places();
    ConsolePrint("Gain * %f\n", field.gain);
  }
  if (const char* plus = std::strchr(output, '+')) {
    field.offset = Number(plus + 1);
    places();
    ConsolePrint("Offset + %f\n", field.offset);
  }
  // A minus right after `*` or `/` is the sign of the gain; the offset is
  // the first minus that is not.
  for (const char* minus = std::strchr(output, '-'); minus; minus = std::strchr(minus + 1, '-')) {
    if (minus > output && (minus[-1] == '*' || minus[-1] == '/')) continue;
    field.offset = -Number(minus + 1);
    places();
    ConsolePrint("Offset + %f\n", field.offset);
    break;
  }
  return true;
}

bool Parser::LookupEntry(char* token) {
  ProtocolDef& protocol = Current();
  if (protocol.lookupTableCount == 0) {
    return Fail("Lookup entry %s before the first LOOKUP in Protocol %d", token, Index());
  }
  LookupTable& table = packetsState.lookupTables[Index()][protocol.lookupTableCount - 1];
  for (char* p = token; *p; ++p) {
    if (*p == '[') {
      table.values[table.count] = NarrowToUint32(Bracket(p + 1));
    } else if (*p == '$') {
      if (table.count >= kMaxLookupEntries) {
        return Fail("Maximum number of Lookup entries reached in Protocol %d", Index());
      }
      table.labels[table.count++] = p + 1;
      break;
    }
  }
  return true;
}

bool Parser::ResolveLengthFields() {
  for (int p = 0; p < parser.protocolCount; ++p) {
    ProtocolDef& protocol = packetsState.protocols[p];
    if (protocol.end.type != kTypeLength || protocol.length != -1) continue;
    bool found = false;
    for (int l = 0; l < protocol.fieldLineCount; ++l) {
      const FieldLine& line = packetsState.fieldLines[p][l];
      int64_t position = 0;
      for (int f = 0; f < line.count; ++f) {
        const FieldDef& field = line.fields[f];
        if (!field.busEvent && !field.text && protocol.lengthFieldName &&
            std::strcmp(field.name, protocol.lengthFieldName) == 0) {
          found = true;
          protocol.end.channel = field.channel;
          protocol.lengthFieldPosition = static_cast<uint32_t>(position);
          protocol.lengthFieldWidth = field.bits;
          protocol.lengthFieldMsbFirst = field.msbFirst;
          protocol.lengthFieldByteSwap = field.byteSwap;
        }
        position += field.bits;
      }
    }
    if (!found) {
      return Fail("Variable Length Packet fieldname [%s] not found in fields",
                  protocol.lengthFieldName ? protocol.lengthFieldName : "");
    }
  }
  return true;
}

void Parser::RestoreBlanks() {
  for (int p = 0; p < parser.protocolCount; ++p) {
    for (int l = 0; l < packetsState.protocols[p].fieldLineCount; ++l) {
      FieldLine& line = packetsState.fieldLines[p][l];
      for (int f = 0; f < line.count; ++f) {
        for (char* text : {line.fields[f].text, line.fields[f].label}) {
          for (char* c = text; c && *c; ++c) {
            if (*c == '_') *c = ' ';
          }
        }
      }
    }
  }
}

}  // namespace

void ResetProtocolModel() {
  parser.protocolIndex = -1;
  parser.protocolCount = 0;
  parser.fieldLineIndex = -1;
  parser.fieldIndex = -1;
  parser.section = kSectionChannel;
  parser.cursor = parser.fileBuffer;
  std::memset(parser.fileBuffer, 0, sizeof parser.fileBuffer);
  // Field lines and lookup tables start empty; each field takes its defaults
  // when the parser adds it, so the reserved storage is never filled.
  for (ProtocolDef& protocol : packetsState.protocols) protocol = DefaultProtocol();
  packetsState.modelReady = 1;
}

bool ParseProtocolFile(const char* protocolFile, char* errorText) {
  char scratch[kErrorTextSize];
  Parser run(errorText ? errorText : scratch);
  return run.Run(protocolFile);
}

}  // namespace tqla::packets
