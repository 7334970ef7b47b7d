#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "protocol_files.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"trace", 0, nullptr, "check: also print the parser's own trace lines"},
};

constexpr CommandSpec kSpec = {
    "packets",
    "list | check [--trace] PROTOCOL | show PACKET_FILE",
    "list: the protocol definitions found by name (for --protocol NAME and check),\n"
    "with what each covers and where it lies; folders searched in order:\n"
    "$TQLA_PROTOCOL_DIR, $XDG_DATA_HOME/tqla/protocols, each\n"
    "$XDG_DATA_DIRS/tqla/protocols, the installed folder\n"
    "(<prefix>/share/tqla/protocols) and, for a tool run from its build tree, the\n"
    "source tree's protocols/.\n"
    "check: parses a protocol definition file (a path, or the name of one that\n"
    "list shows) and prints the model it describes (protocols, packet boundaries,\n"
    "lengths, decode steps, lookup tables and fields), or the parser's exact error\n"
    "message.\n"
    "show: prints a packet record file as a table, one packet per line with its\n"
    "label/value pairs and the record-file offsets it points to.",
    kOptions,
    1,
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

int List() {
  const std::vector<InstalledProtocol> found = InstalledProtocols();
  size_t width = 0;
  for (const InstalledProtocol& p : found) width = std::max(width, p.name.size());
  for (const InstalledProtocol& p : found) {
    std::printf("%-*s  %s\n%-*s  %s\n", static_cast<int>(width), p.name.c_str(), p.summary.c_str(),
                static_cast<int>(width), "", p.path.c_str());
  }
  std::printf("%zu protocol definition%s\n", found.size(), found.size() == 1 ? "" : "s");
  return 0;
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
  const size_t operands = action == "list" ? 1 : 2;
  if (args.positional.size() != operands) {
    throw UsageError("packets " + action + (operands == 1 ? " takes no file" : " needs a file"));
  }
  if (action == "list") return List();
  if (action == "check") return Check(ResolveProtocol(args.positional[1]), args.Has("trace"));
  if (action == "show") return Show(args.positional[1]);
  throw UsageError("unknown packets action '" + action + "' (list, check or show)");
}

}  // namespace tqla::cli
