#include <chrono>
#include <cmath>
#include <thread>

#include "capture.h"
#include "cli.h"
#include "commands.h"
#include "pattern_file.h"
#include "pod.h"
#include "pod_capture.h"
#include "terminal.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

using Seconds = std::chrono::duration<double>;

constexpr Seconds kPollInterval = std::chrono::milliseconds(50);
constexpr uint32_t kDefaultRateHz = 1000000;

constexpr OptionSpec kOptions[] = {
    {"pod", 0, "ID", "the pod to use (default: the first one listed)"},
    {"rate", 'r', "RATE", "output rate: 1M ... 24M (default: the pattern file's rate, else 1M)"},
    {"once", 0, nullptr, "play the pattern once, then hold its last word (the default)"},
    {"loop", 0, nullptr, "repeat the pattern until Ctrl-C"},
    {"time", 0, "T", "repeat the pattern for T, e.g. 10s, then stop"},
    {"width", 'w', "N", "output lines: 16 (default) or 8 (channels 0-7)"},
};

constexpr CommandSpec kSpec = {
    "generate",
    "[--pod ID] [-r RATE] [--once | --loop | --time T] [-w 16|8] PATTERN",
    "Plays a pattern out of the pod's digital lines, bit n of each word on channel n.\n"
    "PATTERN is a tqla capture (.tqc), a session file of the common open-source\n"
    "analyzer suite (.sr), a VCD file (.vcd: its channels d0..d15 sampled at the rate)\n"
    "or 16-bit hexadecimal words, one per line with an optional header (.csv, .txt).\n"
    "After a single run the lines hold the last word. Progress goes to\n"
    "stderr when it is a terminal. Ctrl-C stops the run: the exit status is 2 when\n"
    "that cut a single or timed run short. An underrun (the pod ran out of data and\n"
    "held the lines) makes the exit status 1.",
    kOptions,
    1,
    1,
};

enum class Repeat { Once, Loop, Timed };

// The pod's status byte counts its underruns modulo 256.
class UnderrunCount {
 public:
  void Update(uint8_t status) {
    total_ += static_cast<uint8_t>(status - last_);
    last_ = status;
  }
  uint64_t total() const { return total_; }

 private:
  uint8_t last_ = 0;
  uint64_t total_ = 0;
};

// A run whose pattern must outlive it: stopped before anything else goes.
struct StopsGeneration {
  ~StopsGeneration() { StopGenerate(); }
};

std::string Plural(uint64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

int RunGenerate(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  if (args.Has("once") + args.Has("loop") + args.Has("time") > 1)
    throw UsageError("give one of --once, --loop and --time");
  const Repeat repeat = args.Has("loop") ? Repeat::Loop : args.Has("time") ? Repeat::Timed : Repeat::Once;
  const double seconds = repeat == Repeat::Timed ? ParseDuration(args.Value("time")) : 0;
  const auto width = static_cast<uint32_t>(args.Unsigned("width", 16, 16));
  if (width != 8 && width != 16) throw UsageError("--width takes 16 or 8");
  std::optional<uint32_t> rateHz;
  if (args.Has("rate")) rateHz = ParseRate(args.Value("rate"));
  std::optional<uint32_t> podId;
  if (args.Has("pod")) podId = static_cast<uint32_t>(args.Unsigned("pod", 0, 0xFFFF));

  const std::string& path = args.positional[0];
  Pattern pattern = LoadPattern(path, rateHz);
  if (!rateHz) rateHz = pattern.rateHz.value_or(kDefaultRateHz);
  if (RateCode(*rateHz) == 0)
    throw CliError(path + ": its rate of " + std::to_string(*rateHz) +
                   " Hz is not one the pod has (1, 2, 3, 4, 6, 8, 12, 16 or 24 MHz); give --rate");
  const auto length = static_cast<uint32_t>(pattern.words.size());

  OpenPod pod(podId);
  InterruptGuard interrupts;
  // Loop flag off for a single run: unlike StartGenerate it leaves the
  // pattern's last words alone and holds the last one.
  if (!StartLoopGenerate(width, RateCode(*rateHz), 0, pattern.words.data(), length, repeat != Repeat::Once))
    throw CliError(WithReason("the pod did not start the pattern"));
  StopsGeneration stops;

  const bool live = IsTerminal(stderr);
  const auto begin = std::chrono::steady_clock::now();
  UnderrunCount underruns;
  bool interrupted = false;
  double elapsed = 0;
  char running = 1, percent = 0;
  for (;;) {
    const int32_t status = GenerateStatus(nullptr, &running, nullptr, &percent);
    if (*TqlaLastError() == '\0') underruns.Update(static_cast<uint8_t>(status));
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (live) {
      // A looping pattern's pass is reckoned from the time the pod has played.
      const auto pass = static_cast<uint64_t>(elapsed * *rateHz / length) + 1;
      if (repeat == Repeat::Once)
        std::fprintf(stderr, "\rgenerating: %3d%%, %s   ", percent, Plural(underruns.total(), "underrun").c_str());
      else
        std::fprintf(stderr, "\rgenerating: pass %llu, %.1f s, %s   ", static_cast<unsigned long long>(pass), elapsed,
                     Plural(underruns.total(), "underrun").c_str());
    }
    if (!running) break;
    if (InterruptGuard::Interrupted()) {
      interrupted = true;
      break;
    }
    if (repeat == Repeat::Timed && elapsed >= seconds) break;
    std::this_thread::sleep_for(
        std::min<Seconds>(kPollInterval, Seconds(repeat == Repeat::Timed ? seconds - elapsed : 1)));
  }
  if (live) std::fprintf(stderr, "\r%70s\r", "");
  // Underruns are counted up to here: stopping leaves the pod without data.
  if (!StopGenerate()) throw CliError(WithReason("the run did not stop"));
  if (const std::optional<std::string> failure = RunFailure())
    throw CliError("the pod stopped taking the pattern and the run ended: " + *failure);
  if (!running && repeat != Repeat::Once) throw CliError("the repeating run ended by itself");

  std::string how;
  if (repeat == Repeat::Once)
    how = interrupted ? "stopped by Ctrl-C at " + std::to_string(static_cast<int>(percent)) + "%" : "played once";
  else {
    char text[96];
    std::snprintf(text, sizeof text, "looped for %.2f s (about %.1f passes)%s", elapsed, elapsed * *rateHz / length,
                  interrupted && repeat == Repeat::Timed ? ", stopped by Ctrl-C" : "");
    how = text;
  }
  std::printf("%s: %u samples at %u Hz on %u lines, %s; %s\n", path.c_str(), length, *rateHz, width, how.c_str(),
              Plural(underruns.total(), "underrun").c_str());
  if (underruns.total() > 0) {
    std::fprintf(stderr, "tqla generate: the pod ran out of data %s and held the lines meanwhile\n",
                 Plural(underruns.total(), "time").c_str());
    return 1;
  }
  return interrupted && repeat != Repeat::Loop ? kExitCutShort : 0;
}

}  // namespace tqla::cli
