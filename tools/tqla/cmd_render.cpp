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
};

constexpr CommandSpec kSpec = {
    "render",
    "[-o FILE] [--start N] [--samples N | --scale S] [--width PX] [--from-trigger] CAPTURE",
    "Draws a window of a capture as SVG: the 16 logic channels (a band where a\n"
    "column holds a change), the scope channels in use as min-max strokes, and a\n"
    "time axis from sample 0 (or from the trigger with --from-trigger). By default\n"
    "the whole capture in 1920 columns.",
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
  const std::string path = args.positional[0];
  Capture capture = LoadCapture(path);
  RenderCapture(capture, options, args.Value("output"), path);
  return 0;
}

}  // namespace tqla::cli
