#include <cmath>

#include "cli.h"
#include "commands.h"
#include "operations.h"
#include "pod_capture.h"

namespace tqla::cli {

namespace {

constexpr uint32_t kBlock = 65536;

constexpr OptionSpec kOptions[] = {
    {"output", 'o', "FILE", "capture file to write (default capture.tqc)"},
    {"vcd", 0, "FILE", "also write the capture as VCD"},
    {"pod", 0, "ID", "the pod to use (default: the first one listed)"},
    {"channels", 'c', "N", "digital channels: 16 (default), 8 or 0"},
    {"analog", 'a', "N", "scope channels: 2 (default), 1 (CH1) or 0"},
    {"rate", 'r', "RATE", "sample rate: 1M, 2M, 3M, 4M, 6M, 8M, 12M, 16M or 24M (default 24M)"},
    {"samples", 0, "N", "samples to keep (rounded up to a multiple of 65536; default 1048576)"},
    {"time", 0, "T", "time to keep instead, e.g. 50ms"},
    {"post", 0, "N", "samples after the trigger (whole 65536s; default half)"},
    {"trigger", 't', "SPEC", "digital trigger, e.g. 0=1,1=r: levels 0/1 and one-word edges r/f"},
    {"analog-trigger", 0, "SPEC", "scope trigger: ch1>LEVEL (rising) or ch2<LEVEL (falling), LEVEL 0-255"},
    {"glitch-filter", 0, nullptr, "remove single-sample spikes from the scope samples"},
    {"timeout", 0, "T", "stop when no trigger came within T (e.g. 5s), keeping what was captured"},
};

constexpr CommandSpec kSpec = {
    "capture",
    "[-o FILE] [--vcd FILE] [-c N] [-a N] [-r RATE] [--samples N | --time T] [--post N]\n"
    "       [-t SPEC | --analog-trigger SPEC] [--timeout T]",
    "Captures from a pod into its ring until the trigger has come and the\n"
    "post-trigger samples are stored, then saves the samples, oldest first, as a\n"
    "capture file. Live status (trigger, post-trigger percent, breaks) goes to stderr\n"
    "when it is a terminal. Ctrl-C, or --timeout before the trigger, stops early: the\n"
    "file keeps what was captured, marked as cut short, and the exit status is 2.\n"
    "Without a trigger the capture fills the ring once. Use --sim for a simulated pod.",
    kOptions,
    0,
    0,
};

uint32_t RoundUpToBlock(uint64_t samples) {
  const uint64_t rounded = (samples + kBlock - 1) / kBlock * kBlock;
  if (rounded == 0 || rounded > 0xFFFF0000u) throw UsageError("the capture length must lie between 1 and 4294901760 samples");
  return static_cast<uint32_t>(rounded);
}

}  // namespace

int RunCapture(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  CaptureSettings s;
  if (args.Has("pod")) s.pod = static_cast<uint32_t>(args.Unsigned("pod", 0, 0xFFFF));
  s.digitalChannels = static_cast<uint32_t>(args.Unsigned("channels", 16, 16));
  s.analogChannels = static_cast<uint32_t>(args.Unsigned("analog", 2, 2));
  if (s.digitalChannels != 16 && s.digitalChannels != 8 && s.digitalChannels != 0)
    throw UsageError("--channels takes 16, 8 or 0");
  if (s.digitalChannels == 0 && s.analogChannels == 0) throw UsageError("no channels to capture");
  s.rateHz = ParseRate(args.Value("rate", "24M"));
  if (args.Has("samples") && args.Has("time")) throw UsageError("give --samples or --time, not both");
  uint64_t samples = args.Unsigned("samples", 1u << 20, 0xFFFF0000u);
  if (args.Has("time")) samples = static_cast<uint64_t>(std::ceil(ParseDuration(args.Value("time")) * s.rateHz));
  s.samples = RoundUpToBlock(samples);
  s.post = static_cast<uint32_t>(args.Unsigned("post", s.samples / 2, s.samples));
  if (args.Has("trigger")) s.steps = ParseTrigger(args.Value("trigger"));
  if (args.Has("analog-trigger")) {
    if (s.analogChannels == 0) throw UsageError("--analog-trigger needs scope channels");
    s.analogTrigger = ParseAnalogTrigger(args.Value("analog-trigger"));
    if (s.analogChannels == 1 && s.analogTrigger->channel == 2) throw UsageError("CH2 is not captured");
  }
  if (!s.steps.empty() && s.digitalChannels == 0) throw UsageError("--trigger needs digital channels");
  s.glitchFilter = args.Has("glitch-filter");
  if (args.Has("timeout")) s.timeoutSeconds = ParseDuration(args.Value("timeout"));

  PodCaptureStatus status;
  Capture capture = RunPodCapture(s, &status);
  capture.created = UtcNow();
  const std::string path = args.Value("output", "capture.tqc");
  SaveCapture(path, capture);
  const uint32_t breaks = status.breaks;
  std::printf("%s: %zu samples at %u Hz", path.c_str(), capture.samples.size(), capture.rateHz);
  if (capture.trigger) std::printf(", trigger at sample %u", *capture.trigger);
  std::printf(", %u break%s", breaks, breaks == 1 ? "" : "s");
  std::printf("%s\n", capture.cutShort.empty() ? "" : (", cut short by " + capture.cutShort).c_str());
  if (args.Has("vcd")) {
    ExportCapture(capture, ExportFormat::Vcd, args.Value("vcd"), 0, std::nullopt);
    std::printf("%s: VCD of all samples\n", args.Value("vcd").c_str());
  }
  if (breaks)
    std::fprintf(stderr, "tqla capture: warning: the pod reported %u break%s: samples were lost\n", breaks,
                 breaks == 1 ? "" : "s");
  if (status.end == CaptureEnd::Complete) return 0;
  const char* why = status.end == CaptureEnd::TimedOut ? "no trigger came within the time-out"
                    : status.triggered                 ? "Ctrl-C stopped the capture before its post-trigger samples were stored"
                                                       : "Ctrl-C stopped the capture before the trigger came";
  std::fprintf(stderr, "tqla capture: %s; %s holds the %zu samples captured, marked as cut short\n", why,
               path.c_str(), capture.samples.size());
  return kExitCutShort;
}

}  // namespace tqla::cli
