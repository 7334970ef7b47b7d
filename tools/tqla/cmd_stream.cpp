#include <chrono>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

#include "cli.h"
#include "live_decode.h"
#include "commands.h"
#include "pod.h"
#include "pod_capture.h"
#include "terminal.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

constexpr uint32_t kBlockBytes = 65536;
// How often an idle stream asks whether the pod still runs it.
constexpr auto kStatusInterval = std::chrono::milliseconds(100);
// How long decoded records may wait for more samples when the stream pauses.
constexpr auto kDecodeInterval = std::chrono::milliseconds(50);

constexpr OptionSpec kOptions[] = {
    {"output", 'o', "FILE", "where the samples go (default: standard output)"},
    {"pod", 0, "ID", "the pod to use (default: the first one listed)"},
    {"rate", 'r', "RATE", "sample rate: 1M ... 24M (default 24M)"},
    {"clock", 0, "MODE", "clock mode of the pod: 1 (default), 2 or 4-9"},
    {"samples", 0, "N", "stop after N samples"},
    {"time", 0, "T", "stop after T, e.g. 10s"},
    {"continuous", 0, nullptr, "stream until Ctrl-C (the default without --samples or --time)"},
    {"decode", 0, "BUS:SETTINGS", "print the bus's records as they come, e.g. uart:rx=6,baud=115200 (repeatable)"},
};

constexpr CommandSpec kSpec = {
    "stream",
    "[-o FILE] [-r RATE] [--clock MODE] [--samples N | --time T | --continuous]\n"
    "       [--decode BUS:SETTINGS]...",
    "Streams digital channels 0-7 from a pod without end: one byte per sample (bit n\n"
    "is channel n), in 64 KiB blocks, to a file or standard output, until a sample\n"
    "count, a duration or Ctrl-C. Throughput and lost blocks are shown on stderr when\n"
    "it is a terminal, and summed up at the end. A lost block makes the exit status 1,\n"
    "and so does a pod that stops answering: the stream then ends with what came before.\n"
    "With --decode the stream is decoded as it runs and the record lines go to standard\n"
    "output as they complete (the samples only to -o FILE, if given): each line as\n"
    "tqla decode writes it, named after its bus (or name=), timed from the stream's\n"
    "first sample. SETTINGS are the options of tqla decode without their dashes\n"
    "(uart:rx=6,baud=115200; i2c:scl=0,sda=1; spi:cs=5,mode=3; name=TEXT).",
    kOptions,
    0,
    0,
};

}  // namespace

int RunStream(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const int given = args.Has("samples") + args.Has("time") + args.Has("continuous");
  if (given > 1) throw UsageError("give one of --samples, --time and --continuous");
  const uint32_t rateHz = ParseRate(args.Value("rate", "24M"));
  const auto clock = static_cast<uint32_t>(args.Unsigned("clock", 1, 9));
  if (clock == 0 || clock == 3) throw UsageError("clock mode 3 and 0 load no firmware; use 1, 2 or 4-9");
  uint64_t limit = UINT64_MAX;
  if (args.Has("samples")) limit = args.Unsigned("samples", 0);
  if (args.Has("time")) limit = static_cast<uint64_t>(std::ceil(ParseDuration(args.Value("time")) * rateHz));
  std::optional<uint32_t> podId;
  if (args.Has("pod")) podId = static_cast<uint32_t>(args.Unsigned("pod", 0, 0xFFFF));

  // Decoded records take standard output; the samples then go only to a named file.
  std::vector<DecoderSpec> decoders = ParseDecoderSpecs(args.Values("decode"));
  for (const DecoderSpec& spec : decoders) CheckDecoderSpec(spec, rateHz);
  std::optional<LiveDecoder> decoding;
  if (!decoders.empty()) decoding.emplace(std::move(decoders), rateHz, stdout);
  const bool samplesOut = !decoding || args.Has("output");
  std::optional<OutputFile> out;
  if (samplesOut) out.emplace(args.Value("output", "-"));
  OpenPod pod(podId, true);
  InterruptGuard interrupts;
  if (!StartStreamingCapture(RateCode(rateHz), clock, nullptr, 0, nullptr, 0, 0))
    throw CliError("the pod did not start the stream (--verbose shows why)");
  const bool live = IsTerminal(stderr);
  std::vector<uint8_t> block(kBlockBytes);
  uint64_t written = 0, lost = 0;
  const auto begin = std::chrono::steady_clock::now();
  auto lastShown = begin, lastAsked = begin, lastDecoded = begin;
  // The library ends a stream whose pod stops answering; its blocks from
  // before are still written, then the command fails.
  bool ended = false;
  while (written < limit && !InterruptGuard::Interrupted()) {
    if (StreamBufferOverflow()) ++lost;
    if (!GetNextStreamBuffer(block.data())) {
      if (ended) break;
      const auto now = std::chrono::steady_clock::now();
      // A quiet moment: what has come is decoded, however little.
      if (decoding && now - lastDecoded >= kDecodeInterval) {
        decoding->Decode(true);
        lastDecoded = now;
      }
      if (now - lastAsked >= kStatusInterval) {
        lastAsked = now;
        char running = 1;
        ended = CaptureStatus(nullptr, &running, nullptr, nullptr, nullptr, nullptr, nullptr) < 0 || !running;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    const uint64_t take = std::min<uint64_t>(kBlockBytes, limit - written);
    if (out && std::fwrite(block.data(), 1, take, out->get()) != take) break;
    written += take;
    if (decoding) {
      decoding->Add(block.data(), take);
      decoding->Decode();
    }
    const auto now = std::chrono::steady_clock::now();
    if (live && now - lastShown > std::chrono::milliseconds(250)) {
      const double seconds = std::chrono::duration<double>(now - begin).count();
      std::fprintf(stderr, "\rstreaming: %.1f MB, %.2f MS/s, %llu block%s lost   ", written / 1e6,
                   written / seconds / 1e6, static_cast<unsigned long long>(lost), lost == 1 ? "" : "s");
      lastShown = now;
    }
  }
  const bool stopped = StopStream() != 0;
  if (decoding) decoding->Finish();
  if (StreamBufferOverflow()) ++lost;
  if (live) std::fprintf(stderr, "\r%70s\r", "");
  if (out) out->Close();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::fprintf(stderr, "streamed %llu samples in %.2f s (%.2f MS/s), %llu block%s lost",
               static_cast<unsigned long long>(written), seconds, seconds > 0 ? written / seconds / 1e6 : 0.0,
               static_cast<unsigned long long>(lost), lost == 1 ? "" : "s");
  if (decoding) std::fprintf(stderr, ", %llu record lines", static_cast<unsigned long long>(decoding->linesPrinted()));
  std::fputc('\n', stderr);
  const std::string where = args.Value("output", "-") == "-" ? "standard output" : args.Value("output");
  if (ended && !out)
    throw CliError("the pod stopped answering (unplugged?) and the stream ended after " + std::to_string(written) +
                   " samples, whose records were printed");
  if (ended)
    throw CliError("the pod stopped answering (unplugged?) and the stream ended; " + where + " holds the " +
                   std::to_string(written) + " samples streamed before");
  if (!stopped) throw CliError("the stream did not stop in time (--verbose shows why)");
  return lost ? 1 : 0;
}

}  // namespace tqla::cli
