#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli.h"
#include "commands.h"
#include "export_formats.h"
#include "operations.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"format", 'O', "FORMAT", "vcd (default), csv or text"},
    {"output", 'o', "FILE", "write to FILE instead of standard output"},
    {"from", 0, "N", "first sample to export (default 0)"},
    {"to", 0, "N", "export up to, not including, sample N (default: the end)"},
};

constexpr CommandSpec kSpec = {
    "export",
    "[-O vcd|csv|text] [-o FILE] [--from N] [--to N] CAPTURE",
    "Converts a capture file to VCD (IEEE 1364, for waveform viewers), CSV (RFC 4180,\n"
    "time in seconds, d0..d15, CH1 and CH2 in volts) or the library's text table.\n"
    "Times count from the first exported sample. Scope channels appear in VCD and CSV\n"
    "only when the capture marks them in use.",
    kOptions,
    1,
    1,
};

// The library's text export writes a named file; standard output gets a
// temporary file's contents.
void ExportText(Capture& capture, const std::string& outPath, uint32_t from, uint32_t to) {
  const bool toStdout = outPath.empty() || outPath == "-";
  std::string target = outPath;
  if (toStdout) {
    const char* tmp = std::getenv("TMPDIR");
    target = std::string(tmp && *tmp ? tmp : "/tmp") + "/tqla-text-XXXXXX";
    const int fd = mkstemp(target.data());
    if (fd < 0) throw CliError("cannot create a temporary file: " + std::string(std::strerror(errno)));
    close(fd);
  } else {
    // The export reports no failure, so find out first whether the file can be made.
    OutputFile probe(target);
    probe.Close();
  }
  {
    SampleBufferLease lease(capture.samples);
    OutputSampleData(target.data(), from, to);
  }
  std::error_code error;
  const bool written = std::filesystem::file_size(target, error) > 0 && !error;
  if (toStdout) {
    if (written) {
      std::FILE* in = std::fopen(target.c_str(), "rb");
      OutputFile out("-");
      char block[1 << 16];
      for (size_t n; in && (n = std::fread(block, 1, sizeof block, in)) > 0;) std::fwrite(block, 1, n, out.get());
      if (in) std::fclose(in);
      out.Close();
    }
    std::filesystem::remove(target, error);
  }
  if (!written) throw CliError("the text export wrote nothing to " + (toStdout ? std::string("standard output") : target));
}

}  // namespace

ExportFormat ParseExportFormat(const std::string& name) {
  if (name == "vcd") return ExportFormat::Vcd;
  if (name == "csv") return ExportFormat::Csv;
  if (name == "text" || name == "txt") return ExportFormat::Text;
  throw UsageError("unknown format '" + name + "' (vcd, csv or text)");
}

void ExportCapture(Capture& capture, ExportFormat format, const std::string& outPath, uint64_t from,
                   std::optional<uint64_t> to) {
  const uint64_t count = capture.samples.size();
  const uint64_t end = std::min(to.value_or(count), count);
  if (to && from > *to) throw UsageError("--from " + std::to_string(from) + " lies after --to " + std::to_string(*to));
  if (from >= end) throw CliError("nothing to export: the capture has " + std::to_string(count) + " samples");
  if (format == ExportFormat::Text) {
    ExportText(capture, outPath, static_cast<uint32_t>(from), static_cast<uint32_t>(end));
    return;
  }
  ExportWindow window;
  window.samples = capture.samples.data() + from;
  window.count = end - from;
  window.rateHz = capture.rateHz;
  window.analogChannels = capture.analogChannels;
  window.date = capture.created;
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
  ExportCapture(capture, format, args.Value("output"), from, to);
  return 0;
}

}  // namespace tqla::cli
