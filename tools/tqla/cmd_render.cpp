#include <algorithm>
#include <cmath>
#include <limits>

#include "cli.h"
#include "commands.h"
#include "operations.h"
#include "svg_render.h"

namespace tqla::cli {

namespace {

constexpr uint32_t kMaxWidth = 100000;

constexpr OptionSpec kOptions[] = {
    {"output", 'o', "FILE", "write the SVG to FILE instead of standard output"},
    {"start", 0, "N", "sample at the left edge (default 0; negative starts before the data)"},
    {"samples", 0, "N", "samples across the width (default: from --start to the end)"},
    {"scale", 0, "S", "samples per column in 1/1024 (1024: one sample per column)"},
    {"width", 0, "PX", "columns of the drawing (default 1920)"},
    {"from-trigger", 0, nullptr, "the time axis counts from the capture's trigger, not from sample 0"},
    {"decode", 0, "BUS:SETTINGS", "a row of decoded values under the traces, e.g. i2c:scl=0,sda=1 (repeatable)"},
    {"names", 0, "LIST", "channel names on the left, e.g. 0=SCL,1=SDA"},
};

constexpr CommandSpec kSpec = {
    "render",
    "[-o FILE] [--start N] [--samples N | --scale S] [--width PX] [--from-trigger]\n"
    "       [--names LIST] [--decode BUS:SETTINGS]... CAPTURE",
    "Draws a window of a capture as SVG: the 16 logic channels (a band where a\n"
    "column holds a change), the scope channels in use as min-max strokes, the\n"
    "trigger, and a time axis from sample 0 (or from the trigger with --from-trigger).\n"
    "By default the whole capture in 1920 columns.\n"
    "Each --decode adds a row of the bus's decoded values under the traces: a box per\n"
    "byte or word with its value where it fits, and the bus's markers (I2C: S, P, ACK,\n"
    "NACK; SPI: CS, /CS; 1-Wire: reset, presence); CAN, USB, PS/2, I2S and synchronous\n"
    "serial get a box per record line. Zoomed out, values too narrow to tell apart\n"
    "merge into a band with their count. SETTINGS are the options of tqla decode\n"
    "without their dashes (i2c:scl=0,sda=1; uart:rx=6,baud=115200; spi:cs=5,mode=0;\n"
    "name=TEXT labels the row). CAPTURE is a tqla capture (.tqc) or a session file (.sr).",
    kOptions,
    1,
    1,
};

}  // namespace

void RenderCapture(Capture& capture, const RenderOptions& options, const std::string& outPath,
                   const std::string& title) {
  if (options.width == 0 || options.width > kMaxWidth)
    throw UsageError("--width must lie between 1 and " + std::to_string(kMaxWidth));
  const int64_t count = static_cast<int64_t>(capture.samples.size());
  uint64_t scale = 0;
  if (options.scale) {
    scale = *options.scale;
  } else {
    const int64_t rest = count - options.start;
    const uint64_t samples = options.samples.value_or(rest > 0 ? static_cast<uint64_t>(rest) : 0);
    if (samples == 0) throw UsageError("the window holds no samples; give --samples");
    scale = static_cast<uint64_t>(std::llround(static_cast<double>(samples) * 1024.0 / options.width));
  }
  if (scale == 0) scale = 1;
  if (scale > std::numeric_limits<uint32_t>::max()) throw UsageError("the window is too long for the width");
  const auto s = static_cast<uint32_t>(scale);

  const ScreenTraces traces =
      ScaleToScreen(capture.samples, static_cast<int32_t>(options.start), options.width, s, capture.analogChannels);
  RenderView view;
  view.start = options.start;
  view.samplesPerColumn = s / 1024.0;
  view.rateHz = capture.rateHz;
  view.trigger = capture.trigger;
  if (options.fromTrigger) {
    if (!capture.trigger) throw UsageError("--from-trigger: the capture has no trigger");
    view.origin = *capture.trigger;
  }
  view.title = title;
  view.names = capture.names;
  for (size_t c = 0; c < view.names.size(); ++c)
    if (!options.names[c].empty()) view.names[c] = options.names[c];
  // Each decoder runs over the window and as much again on either side, so
  // that it meets the traffic before the window in step and finishes what
  // the window cuts.
  const int64_t span = static_cast<int64_t>(std::ceil(options.width * view.samplesPerColumn));
  const int64_t end = options.start + span;
  const auto decodeFrom = static_cast<uint64_t>(std::clamp<int64_t>(options.start - span, 0, count));
  const auto decodeTo = static_cast<uint64_t>(std::clamp<int64_t>(end + span, 0, count));
  for (const DecoderSpec& spec : options.decoders) {
    std::vector<AnnotationRow> rows = DecodeAnnotations(capture.samples, capture.rateHz, spec, decodeFrom, decodeTo);
    for (AnnotationRow& row : rows) view.annotations.push_back(std::move(row));
  }
  OutputFile out(outPath);
  WriteSvg(out.get(), traces, view);
  out.Close();
}

int RunRender(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  if (args.Has("samples") && args.Has("scale")) throw UsageError("give --samples or --scale, not both");
  RenderOptions options;
  options.start = args.Signed("start", 0, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  if (args.Has("samples")) options.samples = args.Unsigned("samples", 0, kMaxCaptureSamples);
  if (args.Has("scale")) {
    options.scale = static_cast<uint32_t>(args.Unsigned("scale", 1024, std::numeric_limits<uint32_t>::max()));
    if (*options.scale == 0) throw UsageError("--scale must be at least 1 (1024: one sample per column)");
  }
  options.width = static_cast<uint32_t>(args.Unsigned("width", 1920, kMaxWidth));
  options.fromTrigger = args.Has("from-trigger");
  if (args.Has("names")) options.names = ParseChannelNames(args.Value("names"));
  options.decoders = ParseDecoderSpecs(args.Values("decode"));
  const std::string path = args.positional[0];
  Capture capture = LoadCapture(path);
  RenderCapture(capture, options, args.Value("output"), path);
  return 0;
}

}  // namespace tqla::cli
