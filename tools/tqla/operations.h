// What the export and render commands do, for the commands that chain them
// (demo) and for the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture.h"
#include "channel_names.h"
#include "decoder_spec.h"

namespace tqla::cli {

enum class ExportFormat { Vcd, Csv, Text, Sr };

// "vcd", "csv" or "text"; throws UsageError.
ExportFormat ParseExportFormat(const std::string& name);

// Writes samples from up to (not including) to of the capture to outPath ("-"
// or empty: standard output). Times count from sample 0, or from the trigger
// when fromTrigger. to past the end means the end; from past to is a UsageError.
void ExportCapture(Capture& capture, ExportFormat format, const std::string& outPath, uint64_t from,
                   std::optional<uint64_t> to, bool fromTrigger = false);

struct RenderOptions {
  int64_t start = 0;                // sample at the left edge, may be negative
  std::optional<uint64_t> samples;  // samples across the width (default: the rest of the capture)
  std::optional<uint32_t> scale;    // samples per column in 1/1024 (instead of samples)
  uint32_t width = 1920;            // columns
  bool fromTrigger = false;         // times count from the trigger, not sample 0
  ChannelNames names;               // over the capture's own names
  std::vector<DecoderSpec> decoders;  // an annotation row (or two) each
};

// Draws the window as SVG to outPath ("-" or empty: standard output).
void RenderCapture(Capture& capture, const RenderOptions& options, const std::string& outPath,
                   const std::string& title);

}  // namespace tqla::cli
