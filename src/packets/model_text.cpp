// The packet engine's model as text, for hosts and the tool to show what a
// protocol definition file says.
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/export.h"
#include "packets/entry_ring.h"
#include "packets/packets_state.h"
#include "packets/protocol_parser.h"

namespace tqla::packets {
namespace {

const char* BoundaryName(uint8_t type) {
  switch (type) {
    case kTypeNext: return "NEXT";
    case kTypeSignal: return "SIGNAL";
    case kTypeValue: return "VALUE";
    case kTypeLength: return "LENGTH";
    case kTypeEvent: return "EVENT";
    case kTypeTimeout: return "TIMEOUT";
    default: return "?";
  }
}

std::string DescribeBoundary(const Boundary& b) {
  std::string text = BoundaryName(b.type);
  char part[64];
  if (b.type == kTypeEvent || b.type == kTypeSignal) {
    std::snprintf(part, sizeof part, " %u", b.code);
    text += part;
  }
  if (b.type == kTypeValue) {
    for (int i = 0; i < b.valueCount && i <= kMaxMatchValues; ++i) {
      std::snprintf(part, sizeof part, "%s0x%X", i ? ", " : " ", b.values[i]);
      text += part;
    }
    std::snprintf(part, sizeof part, " (%u bits, mask 0x%X, channel %u)", b.valueWidth, b.mask, b.channel);
    text += part;
  }
  return text;
}

std::string DescribeSteps(const ProtocolDef& p) {
  static const struct {
    uint32_t step;
    const char* name;
  } names[] = {{kStepNrzi, "NRZI"},   {kStepManchester, "MANCHESTER"},
               {kStepSubstitution, "SUBSTITUTION"}, {kStepAddin, "ADDIN"},
               {kStepInvert, "INVERT"}, {kStepZbi5, "ZBI5"},
               {kStepZbi6, "ZBI6"}};
  std::string text;
  for (int i = 0; i < p.decodeStepCount && i <= kMaxDecodeSteps; ++i) {
    const char* name = "?";
    for (const auto& n : names)
      if (n.step == p.decodeSteps[i]) name = n.name;
    text += (i ? ", " : "") + std::string(name);
  }
  return text.empty() ? "none" : text;
}

std::string DescribeModel() {
  const PacketsState& s = packetsState;
  std::string out;
  char line[512];
  auto print = [&](const char* format, auto... args) {
    std::snprintf(line, sizeof line, format, args...);
    out += line;
  };
  const int count = s.parser.protocolCount;
  print("%d protocol%s\n", count, count == 1 ? "" : "s");
  for (int i = 0; i < count && i < kMaxProtocols; ++i) {
    const ProtocolDef& p = s.protocols[i];
    print("protocol %d: %s\n", i, p.name ? p.name : "(unnamed)");
    print("  entries: %s\n", p.bytewise ? "bytewise" : "bitwise");
    print("  start: %s\n", DescribeBoundary(p.start).c_str());
    print("  end: %s%s\n", DescribeBoundary(p.end).c_str(), p.exclude ? " (excluded)" : "");
    if (p.end.type == kTypeTimeout) print("  timeout: %g us\n", p.timeout);
    if (p.end.type == kTypeLength) {
      if (p.length >= 0)
        print("  length: %d %s\n", p.length, p.lengthInBytes ? "bytes" : "bits");
      else
        print("  length: field %s x %g + %d\n", p.lengthFieldName ? p.lengthFieldName : "?",
                    static_cast<double>(p.lengthGain), p.lengthOffset);
    }
    print("  decode: %s\n", DescribeSteps(p).c_str());
    if (p.lookupTableCount) print("  lookup tables: %u\n", p.lookupTableCount);
    for (int line = 0; line < p.fieldLineCount && line < kMaxFieldLines; ++line) {
      const FieldLine& fields = s.fieldLines[i][line];
      std::string text;
      for (int f = 0; f < fields.count && f < kMaxFieldsPerLine; ++f) {
        const FieldDef& d = fields.fields[f];
        text += ' ';
        if (d.busEvent) {
          text += "event " + std::to_string(d.eventCode);
        } else if (d.text) {
          text += '"';
          text += d.text;
          text += '"';
        } else {
          text += d.name;
          text += '.';
          text += d.variable ? std::string("var") : std::to_string(d.bits);
          if (d.hidden) text += " (hidden)";
        }
      }
      print("  fields %d:%s\n", line + 1, text.c_str());
    }
  }
  return out;
}

}  // namespace
}  // namespace tqla::packets

using namespace tqla;
using namespace tqla::packets;

extern "C" int32_t TQLA_API TqlaDescribeProtocols(const char* protocolFile, char* text, uint32_t size,
                                                  char* errorText) {
  return Guarded<int32_t>("TqlaDescribeProtocols", -1, [&]() -> int32_t {
    char error[kErrorTextSize] = {};
    ResetProtocolModel();
    for (EntryRing& ring : packetsState.rings) ResetRing(ring);
    if (!ParseProtocolFile(protocolFile, error)) {
      if (errorText) std::memcpy(errorText, error, sizeof error);
      FailText(error[0] ? error : "The protocol file does not parse");
      return -1;
    }
    const std::string model = DescribeModel();
    if (text && size) {
      const size_t n = std::min<size_t>(model.size(), size - 1);
      std::memcpy(text, model.data(), n);
      text[n] = '\0';
    }
    return static_cast<int32_t>(model.size());
  });
}
