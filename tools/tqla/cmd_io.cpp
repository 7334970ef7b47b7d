#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "pattern_file.h"
#include "pod.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

// The mode image that runs the static I/O commands.
constexpr int32_t kStaticIoMode = 1;
// The pod's reply to a read holds at most 65536 bytes.
constexpr uint64_t kMaxReadValues = 32768;

constexpr OptionSpec kOptions[] = {
    {"pod", 0, "ID", "the pod to use (default: the first one listed)"},
    {"mask", 'm', "M", "the lines the pod applies the command to (hexadecimal; default FFFF, all)"},
    {"count", 'n', "N", "get: values to read, one after another (default 1, at most 32768)"},
};

constexpr CommandSpec kSpec = {
    "io",
    "set [--pod ID] [-m M] VALUE | get [--pod ID] [-m M] [-n N]",
    "Drives the pod's 16 digital lines to a static level (set), or reads their\n"
    "levels (get, one hexadecimal value per line). Values and masks are 16-bit\n"
    "hexadecimal, with or without 0x; bit n is channel n. Each command first loads\n"
    "the pod's static I/O image.",
    kOptions,
    1,
    2,
};

}  // namespace

int RunIo(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const std::string& action = args.positional[0];
  if (action != "set" && action != "get") throw UsageError("unknown action '" + action + "' (set or get)");
  const bool set = action == "set";
  if (set && args.positional.size() != 2) throw UsageError("set needs a VALUE");
  if (!set && args.positional.size() != 1) throw UsageError("get takes no VALUE");
  if (set && args.Has("count")) throw UsageError("--count is for get");
  const uint16_t mask = LineValueArgument("--mask", args.Value("mask", "FFFF"));
  const uint64_t count = args.Unsigned("count", 1, kMaxReadValues);
  if (count == 0) throw UsageError("--count must be at least 1");
  uint32_t value = set ? LineValueArgument("VALUE", args.positional[1]) : 0;
  std::optional<uint32_t> podId;
  if (args.Has("pod")) podId = static_cast<uint32_t>(args.Unsigned("pod", 0, 0xFFFF));

  OpenPod pod(podId);
  if (SetMode(kStaticIoMode) != 1)
    throw CliError(WithReason("the pod did not start its static I/O image"));
  if (set) {
    if (SetSignals(mask, 1, &value) != 1) throw CliError(WithReason("the pod did not take the value"));
    std::printf("lines set to %04X (mask %04X)\n", value, mask);
    return 0;
  }
  std::vector<uint32_t> values(count);
  if (GetSignals(mask, static_cast<uint32_t>(count), values.data()) != 1)
    throw CliError(WithReason("the pod did not answer the read"));
  for (uint32_t v : values) std::printf("%04X\n", v & 0xFFFF);
  return 0;
}

}  // namespace tqla::cli
