#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
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

// The parser's console lines are dropped unless asked for.
void Quiet(const char*, void*) {}

int Check(const std::string& path, bool trace) {
  RequireRegularFile(path);
  if (!trace) TqlaSetConsoleSink(Quiet, nullptr);
  char error[512] = {};
  const int32_t length = TqlaDescribeProtocols(path.c_str(), nullptr, 0, error);
  std::string model(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
  if (length > 0) TqlaDescribeProtocols(path.c_str(), model.data(), static_cast<uint32_t>(model.size()), error);
  TqlaSetConsoleSink(nullptr, nullptr);
  if (length < 0) throw CliError(path + ": " + (error[0] ? error : "cannot be read"));
  std::fputs(model.c_str(), stdout);
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
