#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "export_formats.h"
#include "operations.h"
#include "session_file.h"
#include "terminal.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"format", 'O', "FORMAT", "vcd (default), csv, text or sr"},
    {"output", 'o', "FILE", "write to FILE instead of standard output"},
    {"from", 0, "N", "first sample to export (default 0)"},
    {"from-trigger", 0, nullptr, "times count from the capture's trigger, not from sample 0"},
    {"to", 0, "N", "export up to, not including, sample N (default: the end)"},
};

constexpr CommandSpec kSpec = {
    "export",
    "[-O vcd|csv|text|sr] [-o FILE] [--from N] [--to N] [--from-trigger] CAPTURE",
    "Converts a capture file to VCD (IEEE 1364, for waveform viewers), CSV (RFC 4180,\n"
    "time in seconds, d0..d15, CH1 and CH2 in volts) or the library's text table.\n"
    "Times count from sample 0 of the capture, or from its trigger with --from-trigger\n"
    "(as in tqla decode and tqla render). Scope channels appear in VCD and CSV only\n"
    "when the capture marks them in use.\n"
    "-O sr writes a session file of the common open-source analyzer suite (a zip\n"
    "archive; needs -o FILE): the 16 digital channels with their names, the rate,\n"
    "and the scope channels in use as analog channels in volts; the trigger is not\n"
    "kept. CAPTURE is a tqla capture (.tqc) or such a session file (.sr).",
    kOptions,
    1,
    1,
};

// The size of the library's text export of samples [from, to): the header
// line and one line per sample of 20 characters and the system's line end,
// one more for each scope byte of 0 (-10.00 is the one six-character voltage).
uint64_t TextExportBytes(const SampleWords& samples, uint32_t from, uint32_t to) {
  const uint64_t line = 20 + TextLineEndBytes();
  uint64_t bytes = line;
  for (uint32_t i = from; i < to; ++i)
    bytes += line + ((samples[i] & 0x00FF0000u) == 0) + ((samples[i] & 0xFF000000u) == 0);
  return bytes;
}

// A temporary file, removed when it goes.
class TemporaryFile {
 public:
  TemporaryFile() {
    path_ = MakeTemporaryFile();
  }
  ~TemporaryFile() { std::remove(path_.c_str()); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  std::string& path() { return path_; }

 private:
  std::string path_;
};

// The library's text export writes a named file and reports no failure, so
// what it wrote is checked by its size. A regular file (or a new one) is
// written in place and removed when it comes out short; standard output, a
// device or a pipe get a checked temporary file's contents.
void ExportText(Capture& capture, const std::string& outPath, uint32_t from, uint32_t to) {
  const uint64_t expected = TextExportBytes(capture.samples, from, to);
  const bool toStdout = outPath.empty() || outPath == "-";
  std::error_code error;
  const bool inPlace = !toStdout && (!std::filesystem::exists(outPath, error) ||
                                     std::filesystem::is_regular_file(outPath, error));
  if (inPlace) {
    PartialOutputGuard partial({outPath});
    OutputFile(outPath).Close();  // the reason, when the file cannot be made at all
    std::string target = outPath;
    {
      SampleBufferLease lease(capture.samples);
      OutputSampleData(target.data(), from, to);
    }
    if (PartialOutputGuard::RegularSize(outPath) != expected)
      throw CliError("writing " + outPath + " failed (disk full?); the partial file was removed");
    partial.Keep();
    return;
  }
  TemporaryFile text;
  {
    SampleBufferLease lease(capture.samples);
    OutputSampleData(text.path().data(), from, to);
  }
  if (PartialOutputGuard::RegularSize(text.path()) != expected)
    throw CliError("the text export failed in the temporary folder (disk full?)");
  std::FILE* in = std::fopen(text.path().c_str(), "rb");
  if (!in) throw CliError("cannot read the temporary file: " + std::string(std::strerror(errno)));
  OutputFile out(outPath);
  char block[1 << 16];
  for (size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;) std::fwrite(block, 1, n, out.get());
  std::fclose(in);
  out.Close();
}

}  // namespace

ExportFormat ParseExportFormat(const std::string& name) {
  if (name == "vcd") return ExportFormat::Vcd;
  if (name == "csv") return ExportFormat::Csv;
  if (name == "text" || name == "txt") return ExportFormat::Text;
  if (name == "sr" || name == "srzip") return ExportFormat::Sr;
  throw UsageError("unknown format '" + name + "' (vcd, csv, text or sr)");
}

void ExportCapture(Capture& capture, ExportFormat format, const std::string& outPath, uint64_t from,
                   std::optional<uint64_t> to, bool fromTrigger) {
  const uint64_t count = capture.samples.size();
  const uint64_t end = std::min(to.value_or(count), count);
  if (to && from > *to) throw UsageError("--from " + std::to_string(from) + " lies after --to " + std::to_string(*to));
  if (from >= end) throw CliError("nothing to export: the capture has " + std::to_string(count) + " samples");
  if (format == ExportFormat::Sr) {
    SaveSessionFile(outPath, capture, from, end);
    return;
  }
  if (format == ExportFormat::Text) {
    ExportText(capture, outPath, static_cast<uint32_t>(from), static_cast<uint32_t>(end));
    return;
  }
  if (fromTrigger && !capture.trigger) throw UsageError("--from-trigger: the capture has no trigger");
  ExportWindow window;
  window.firstTime = static_cast<int64_t>(from) - (fromTrigger ? static_cast<int64_t>(*capture.trigger) : 0);
  if (format == ExportFormat::Vcd && window.firstTime < 0)
    throw UsageError("a VCD starts at time 0: with --from-trigger export from the trigger on (--from " +
                     std::to_string(*capture.trigger) + ")");
  window.samples = capture.samples.data() + from;
  window.count = end - from;
  window.rateHz = capture.rateHz;
  window.analogChannels = capture.analogChannels;
  window.date = capture.created;
  window.cutShort = capture.cutShort;
  OutputFile out(outPath);
  Progress progress("export", window.count);
  if (format == ExportFormat::Vcd)
    WriteVcd(out.get(), window, &progress);
  else
    WriteCsv(out.get(), window, &progress);
  out.Close();
}

int RunExport(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const ExportFormat format = ParseExportFormat(args.Value("format", "vcd"));
  const uint64_t from = args.Unsigned("from", 0, kMaxCaptureSamples);
  std::optional<uint64_t> to;
  if (args.Has("to")) to = args.Unsigned("to", 0);
  Capture capture = LoadCapture(args.positional[0]);
  ExportCapture(capture, format, args.Value("output"), from, to, args.Has("from-trigger"));
  return 0;
}

}  // namespace tqla::cli
