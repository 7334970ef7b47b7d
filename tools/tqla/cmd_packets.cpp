#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "frame/console.h"
#include "packets/packets_state.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"trace", 0, nullptr, "check: also print the parser's own trace lines"},
};

constexpr CommandSpec kSpec = {
    "packets",
    "check [--trace] PROTOCOL_FILE | show PACKET_FILE",
    "check: parses a protocol definition file and prints the model it describes\n"
    "(protocols, packet boundaries, lengths, decode steps, lookup tables and\n"
    "fields), or the parser's exact error message.\n"
    "show: prints a packet record file as a table, one packet per line with its\n"
    "label/value pairs and the record-file offsets it points to.",
    kOptions,
    2,
    2,
};

const char* BoundaryName(uint8_t type) {
  switch (type) {
    case packets::kTypeNext: return "NEXT";
    case packets::kTypeSignal: return "SIGNAL";
    case packets::kTypeValue: return "VALUE";
    case packets::kTypeLength: return "LENGTH";
    case packets::kTypeEvent: return "EVENT";
    case packets::kTypeTimeout: return "TIMEOUT";
    default: return "?";
  }
}

std::string DescribeBoundary(const packets::Boundary& b) {
  std::string text = BoundaryName(b.type);
  char part[64];
  if (b.type == packets::kTypeEvent || b.type == packets::kTypeSignal) {
    std::snprintf(part, sizeof part, " %u", b.code);
    text += part;
  }
  if (b.type == packets::kTypeValue) {
    for (int i = 0; i < b.valueCount && i <= packets::kMaxMatchValues; ++i) {
      std::snprintf(part, sizeof part, "%s0x%X", i ? ", " : " ", b.values[i]);
      text += part;
    }
    std::snprintf(part, sizeof part, " (%u bits, mask 0x%X, channel %u)", b.valueWidth, b.mask, b.channel);
    text += part;
  }
  return text;
}

std::string DescribeSteps(const packets::ProtocolDef& p) {
  static const struct {
    uint32_t step;
    const char* name;
  } names[] = {{packets::kStepNrzi, "NRZI"},   {packets::kStepManchester, "MANCHESTER"},
               {packets::kStepSubstitution, "SUBSTITUTION"}, {packets::kStepAddin, "ADDIN"},
               {packets::kStepInvert, "INVERT"}, {packets::kStepZbi5, "ZBI5"},
               {packets::kStepZbi6, "ZBI6"}};
  std::string text;
  for (int i = 0; i < p.decodeStepCount && i <= packets::kMaxDecodeSteps; ++i) {
    const char* name = "?";
    for (const auto& n : names)
      if (n.step == p.decodeSteps[i]) name = n.name;
    text += (i ? ", " : "") + std::string(name);
  }
  return text.empty() ? "none" : text;
}

void PrintModel() {
  const packets::PacketsState& s = packets::packetsState;
  const int count = s.parser.protocolCount;
  std::printf("%d protocol%s\n", count, count == 1 ? "" : "s");
  for (int i = 0; i < count && i < packets::kMaxProtocols; ++i) {
    const packets::ProtocolDef& p = s.protocols[i];
    std::printf("protocol %d: %s\n", i, p.name ? p.name : "(unnamed)");
    std::printf("  entries: %s\n", p.bytewise ? "bytewise" : "bitwise");
    std::printf("  start: %s\n", DescribeBoundary(p.start).c_str());
    std::printf("  end: %s%s\n", DescribeBoundary(p.end).c_str(), p.exclude ? " (excluded)" : "");
    if (p.end.type == packets::kTypeTimeout) std::printf("  timeout: %g us\n", p.timeout);
    if (p.end.type == packets::kTypeLength) {
      if (p.length >= 0)
        std::printf("  length: %d %s\n", p.length, p.lengthInBytes ? "bytes" : "bits");
      else
        std::printf("  length: field %s x %g + %d\n", p.lengthFieldName ? p.lengthFieldName : "?",
                    static_cast<double>(p.lengthGain), p.lengthOffset);
    }
    std::printf("  decode: %s\n", DescribeSteps(p).c_str());
    if (p.lookupTableCount) std::printf("  lookup tables: %u\n", p.lookupTableCount);
    for (int line = 0; line < p.fieldLineCount && line < packets::kMaxFieldLines; ++line) {
      const packets::FieldLine& fields = s.fieldLines[i][line];
      std::string text;
      for (int f = 0; f < fields.count && f < packets::kMaxFieldsPerLine; ++f) {
        const packets::FieldDef& d = fields.fields[f];
        text += ' ';
        if (d.busEvent) {
          text += "event " + std::to_string(d.eventCode);
        } else if (!d.name) {
          text += '"';
          text += d.text ? d.text : "";
          text += '"';
        } else {
          text += d.name;
          text += '.';
          text += d.variable ? std::string("var") : std::to_string(d.bits);
          if (d.hidden) text += " (hidden)";
        }
      }
      std::printf("  fields %d:%s\n", line + 1, text.c_str());
    }
  }
}

int Check(const std::string& path, bool trace) {
  RequireRegularFile(path);
  std::FILE* quiet = trace ? nullptr : std::fopen("/dev/null", "w");
  SetConsoleStream(quiet);
  char error[512] = {};
  std::vector<char> protocol(path.begin(), path.end());
  protocol.push_back('\0');
  char discard[] = "/dev/null";
  const int32_t parsed = InitializeRedodoRovodovoz(protocol.data(), discard, error);
  CloseRedodoRovodovoz();
  SetConsoleStream(nullptr);
  if (quiet) std::fclose(quiet);
  if (!parsed) throw CliError(path + ": " + (error[0] ? error : "cannot be read"));
  PrintModel();
  return 0;
}

// The label or value of a pair of slot 0, however long.
std::optional<std::string> PairText(bool label, int32_t packet, int32_t pair) {
  const auto lookup = label ? TqlaLookupLabelSized : TqlaLookupValueSized;
  const int32_t length = lookup(0, nullptr, 0, packet, pair);
  if (length < 0) return std::nullopt;
  std::string text(static_cast<size_t>(length), '\0');
  lookup(0, text.data(), static_cast<uint32_t>(length) + 1, packet, pair);
  return text;
}

int Show(const std::string& path) {
  RequireRegularFile(path);
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  const int32_t count = LoadPackets(0, name.data());
  if (count <= 0) {
    UnLoadPackets(0);
    throw CliError(path + ": no packet records");
  }
  for (int32_t packet = 0; packet < count; ++packet) {
    std::string line = std::to_string(packet) + ":";
    for (int32_t pair = 0; pair < 64; ++pair) {
      const std::optional<std::string> label = PairText(true, packet, pair);
      if (!label) break;
      if (*label == "EoP") {
        const std::optional<std::string> start = PairText(true, packet, pair + 1);
        const std::optional<std::string> end = PairText(false, packet, pair + 1);
        if (start && end) line += "  [offsets " + *start + ".." + *end + "]";
        break;
      }
      line += "  " + *label + "=" + PairText(false, packet, pair).value_or("");
    }
    std::printf("%s\n", line.c_str());
  }
  UnLoadPackets(0);
  std::printf("%d packet%s\n", count, count == 1 ? "" : "s");
  return 0;
}

}  // namespace

int RunPackets(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const std::string& action = args.positional[0];
  if (action == "check") return Check(args.positional[1], args.Has("trace"));
  if (action == "show") return Show(args.positional[1]);
  throw UsageError("unknown packets action '" + action + "' (check or show)");
}

}  // namespace tqla::cli
