#include <filesystem>

#include "cli.h"
#include "commands.h"
#include "operations.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

constexpr uint32_t kDemoSamples = 65536;
constexpr uint32_t kDemoRateHz = 1000000;
constexpr uint64_t kDemoRenderSamples = 1024;

constexpr OptionSpec kOptions[] = {
    {"out", 0, "DIR", "folder for the files (default demo-out; made when missing)"},
};

constexpr CommandSpec kSpec = {
    "demo",
    "[--out DIR]",
    "Fills a sample buffer with the library's demonstration pattern (a 16-bit\n"
    "counter on d0..d15, a sine on CH1 and a cosine on CH2) at 1 MHz, saves it as a\n"
    "capture file, exports it to VCD, CSV and text, draws an SVG of its first samples,\n"
    "and prints one line per file written.",
    kOptions,
    0,
    0,
};

Capture DemoCapture() {
  uint32_t* buffer = MakeBuffer(kDemoSamples);
  if (!buffer) throw CliError("cannot allocate a sample buffer of " + std::to_string(kDemoSamples) + " samples");
  DemoData16();
  const auto captured = static_cast<uint32_t>(GetActualCaptureLength());
  Capture capture;
  capture.samples.assign(buffer, buffer + std::min(captured, kDemoSamples));
  DeleteBuffer(buffer);
  capture.rateHz = kDemoRateHz;
  capture.analogChannels = kCh1InUse | kCh2InUse;
  return capture;
}

}  // namespace

int RunDemo(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const std::filesystem::path dir = args.Value("out", "demo-out");
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) throw CliError("cannot make " + dir.string() + ": " + error.message());

  const std::string capturePath = (dir / "demo.tqc").string();
  SaveCapture(capturePath, DemoCapture());
  // Everything below starts from the saved file, as a user's own capture would.
  Capture capture = LoadCapture(capturePath);
  std::printf("%s: capture file, %zu samples at 1 MHz\n", capturePath.c_str(), capture.samples.size());

  const struct {
    const char* file;
    ExportFormat format;
    const char* what;
  } kExports[] = {
      {"demo.vcd", ExportFormat::Vcd, "VCD"},
      {"demo.csv", ExportFormat::Csv, "CSV"},
      {"demo.txt", ExportFormat::Text, "text table"},
  };
  for (const auto& e : kExports) {
    const std::string path = (dir / e.file).string();
    ExportCapture(capture, e.format, path, 0, std::nullopt);
    std::printf("%s: %s of all samples\n", path.c_str(), e.what);
  }

  const std::string svgPath = (dir / "demo.svg").string();
  RenderOptions options;
  options.samples = kDemoRenderSamples;
  RenderCapture(capture, options, svgPath, "tqla demo: samples 0 to 1023 at 1 MHz");
  std::printf("%s: SVG of samples 0 to %llu\n", svgPath.c_str(),
              static_cast<unsigned long long>(kDemoRenderSamples - 1));
  return 0;
}

}  // namespace tqla::cli
