#include <array>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include "capture.h"
#include "cli.h"
#include "commands.h"
#include "terminal.h"
#include "pattern_file.h"
#include "pod.h"
#include "pod_capture.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

using Seconds = std::chrono::duration<double>;

constexpr Seconds kPollInterval = std::chrono::milliseconds(50);
constexpr double kLiveSeconds = 0.2;
constexpr double kPlainLineSeconds = 1.0;

constexpr OptionSpec kOptions[] = {
    {"pod", 0, "ID", "the pod to use (default: the first one listed)"},
    {"time", 0, "T", "count for T, e.g. 10s (default: until Ctrl-C)"},
    {"rate", 'r', "RATE", "sample rate: 1M ... 24M (default 24M)"},
    {"width", 'w', "N", "channels: 16 (default) or 8 (channels 0-7)"},
    {"qualifier", 'q', "MASK=VALUE", "count a change only where the sample's MASK bits equal VALUE (hexadecimal)"},
};

constexpr CommandSpec kSpec = {
    "count",
    "[--pod ID] [--time T] [-r RATE] [-w 16|8] [-q MASK=VALUE]",
    "Counts the level changes (rising and falling edges) of every digital channel\n"
    "as the pod samples them, so a whole pulse counts 2. The counts show live on one\n"
    "refreshing line when standard output is a terminal, otherwise as a line every\n"
    "second (the time in seconds, then the counts from channel 0 on); the time or\n"
    "Ctrl-C ends the count with a table. With a qualifier a change counts only when\n"
    "the sample that completes it qualifies. Breaks (samples the pod lost) are\n"
    "reported as a warning. Ctrl-C before --time has run out makes the exit status 2.",
    kOptions,
    0,
    0,
};

using Counts = std::array<uint32_t, 16>;

Counts ReadCounts() {
  std::array<int32_t, 16> c{};
  GetPulseCount(&c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7], &c[8], &c[9], &c[10], &c[11], &c[12], &c[13],
                &c[14], &c[15]);
  Counts counts;
  for (size_t i = 0; i < 16; ++i) counts[i] = static_cast<uint32_t>(c[i]);
  return counts;
}

struct Qualifier {
  uint16_t mask = 0, value = 0;
};

Qualifier ParseQualifier(const std::string& text, uint32_t width) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos)
    throw UsageError("--qualifier: write MASK=VALUE in hexadecimal, e.g. 0100=0100, not '" + text + "'");
  Qualifier q;
  q.mask = LineValueArgument("--qualifier MASK", text.substr(0, equals));
  q.value = LineValueArgument("--qualifier VALUE", text.substr(equals + 1));
  char hex[40];
  if (q.value & ~q.mask) {
    std::snprintf(hex, sizeof hex, "VALUE %04X has bits outside MASK %04X", q.value, q.mask);
    throw UsageError(std::string("--qualifier: ") + hex + ", so no sample would qualify");
  }
  if (width == 8 && q.mask > 0xFF) {
    std::snprintf(hex, sizeof hex, "MASK %04X names channels above 7", q.mask);
    throw UsageError(std::string("--qualifier: ") + hex + ", which width 8 does not sample");
  }
  return q;
}

// A count in at most five characters, for the live line.
std::string Short(uint32_t n) {
  char text[16];
  if (n < 100000) std::snprintf(text, sizeof text, "%u", n);
  else if (n < 100000000) std::snprintf(text, sizeof text, "%uk", n / 1000);
  else std::snprintf(text, sizeof text, "%uM", n / 1000000);
  return text;
}

}  // namespace

int RunCount(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const auto width = static_cast<uint32_t>(args.Unsigned("width", 16, 16));
  if (width != 8 && width != 16) throw UsageError("--width takes 16 or 8");
  const uint32_t rateHz = ParseRate(args.Value("rate", "24M"));
  const bool timed = args.Has("time");
  const double seconds = timed ? ParseDuration(args.Value("time")) : 0;
  Qualifier qualifier;
  if (args.Has("qualifier")) qualifier = ParseQualifier(args.Value("qualifier"), width);
  std::optional<uint32_t> podId;
  if (args.Has("pod")) podId = static_cast<uint32_t>(args.Unsigned("pod", 0, 0xFFFF));
  const size_t channels = width;

  OpenPod pod(podId);
  InterruptGuard interrupts;
  if (!StartPulseCount(static_cast<uint8_t>(width), RateCode(rateHz), qualifier.mask, qualifier.value))
    throw CliError(WithReason("the pod did not start counting"));
  const bool live = IsTerminal(stdout);
  const size_t columns = live ? TerminalColumns() : 0;
  const auto begin = std::chrono::steady_clock::now();
  double shown = 0;
  bool interrupted = false, failed = false;
  int32_t breaks = 0;
  for (;;) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    interrupted = InterruptGuard::Interrupted();
    // The counting image reports its FIFO overflows as a capture does.
    char running = 1;
    const int32_t status = CaptureStatus(nullptr, &running, nullptr, nullptr, nullptr, nullptr, nullptr);
    failed = status == -1 || !running;
    if (!failed) breaks = std::max(breaks, status & 0xFF);
    const bool over = interrupted || failed || (timed && elapsed >= seconds);
    if (!over && elapsed - shown >= (live ? kLiveSeconds : kPlainLineSeconds)) {
      shown = elapsed;
      const Counts counts = ReadCounts();
      char time[32];
      std::snprintf(time, sizeof time, live ? "%6.1f s:" : "%.1f", elapsed);
      std::string line = time;
      for (size_t i = 0; i < channels; ++i) {
        line += ' ';
        line += live ? Short(counts[i]) : std::to_string(counts[i]);
      }
      if (live) std::printf("\r%s\033[K", line.substr(0, columns - 1).c_str());
      else std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
    if (over) break;
    std::this_thread::sleep_for(std::min<Seconds>(kPollInterval, Seconds(timed ? seconds - elapsed : 1)));
  }
  if (live) std::printf("\r\033[K");
  if (!StopPulseCount()) throw CliError(WithReason("the count did not stop"));
  const Counts counts = ReadCounts();
  std::printf("channel  edges\n");
  for (size_t i = 0; i < channels; ++i) std::printf("%7zu  %u\n", i, counts[i]);
  if (failed)
    throw CliError("the pod stopped delivering samples; the counts are those until then: " +
                   RunFailure().value_or("the count ended by itself"));
  if (breaks > 0)
    std::fprintf(stderr,
                 "tqla count: warning: the pod reported %d break%s: samples were lost and their edges not counted\n",
                 breaks, breaks == 1 ? "" : "s");
  return interrupted && timed ? kExitCutShort : 0;
}

}  // namespace tqla::cli
