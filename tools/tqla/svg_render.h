// Drawing a window of a capture as SVG from the library's screen codes.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "annotations.h"
#include "channel_names.h"
#include "sample_words.h"

namespace tqla::cli {

// What the library's screen scaling gives for one window, one entry per column.
struct ScreenTraces {
  uint32_t width = 0;
  std::array<std::vector<uint8_t>, 16> logic;  // 0 low, 1 high, 2 band
  // Per scope channel the column minimum and maximum, 256 where nothing is drawn;
  // empty when the channel is not drawn.
  std::array<std::vector<uint32_t>, 2> minimum;
  std::array<std::vector<uint32_t>, 2> maximum;
};

// Where the window lies in time.
struct RenderView {
  int64_t start = 0;            // sample at column 0
  double samplesPerColumn = 1;  // the scale over 1024
  uint32_t rateHz = 1;
  std::optional<uint32_t> trigger;
  int64_t origin = 0;  // the sample at time 0 of the axis
  std::string title;
  ChannelNames names;                      // channel labels; empty: d0..d15
  std::vector<AnnotationRow> annotations;  // drawn under the traces
};

// Fills the traces of width columns from samples (made the current sample
// buffer for the call) with the library's screen scaling; analogChannels
// selects the scope channels drawn.
ScreenTraces ScaleToScreen(SampleWords& samples, int32_t start, uint32_t width, uint32_t scale,
                           uint8_t analogChannels);

void WriteSvg(std::FILE* out, const ScreenTraces& traces, const RenderView& view);

// Height of one annotation row, and the style its elements use.
inline constexpr double kAnnotationRow = 30;
extern const char kAnnotationStyle[];

// Draws view's annotation rows from y = top, the drawing's columns starting
// at x = left: per row its label, a box per value with the value inside
// where it fits, runs of values too narrow to tell apart as one band with
// their count, and the markers that do not crowd each other.
void WriteAnnotationRows(std::FILE* out, const RenderView& view, uint32_t width, double left, double top);

// Text as SVG character data or attribute value; numbers with at most two
// decimals.
std::string SvgEscape(const std::string& text);
std::string SvgNumber(double value);

// A tick every step seconds: the 1-2-5 step that gives about eight ticks in
// duration seconds.
double TickStep(double duration);

// Time label in engineering units, with as many decimals as step needs.
std::string TickLabel(double seconds, double step);

}  // namespace tqla::cli
