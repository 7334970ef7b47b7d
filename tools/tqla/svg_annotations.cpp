// Annotation rows of a picture: decoded values as boxes under the traces.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "svg_render.h"

namespace tqla::cli {

const char kAnnotationStyle[] =
    ".lane { stroke: #bbb; }\n"
    ".word { fill: #dde8f6; stroke: #3a6ea5; }\n"
    ".words { fill: #a9c1e3; stroke: #3a6ea5; }\n"
    ".mark { fill: #fff1cc; stroke: #b07a00; }\n"
    ".warn { fill: #fbd5d5; stroke: #c00; }\n"
    ".value { text-anchor: middle; }\n"
    "text.count { text-anchor: middle; fill: #123; }\n";

namespace {

constexpr double kBoxTop = 6;  // inside a row
constexpr double kBoxHeight = 17;
constexpr double kTextBaseline = 18.5;
constexpr double kCharWidth = 6.6;
// Boxes this wide show two characters; narrower ones are not told apart: a
// run of them becomes a band with their count (tiny boxes of no text each
// only clutter the row).
constexpr double kReadable = 2 * kCharWidth + 4;
// Boxes of a band lie no further apart than this.
constexpr double kNarrowest = 3;

double TextWidth(const std::string& text) { return kCharWidth * static_cast<double>(text.size()) + 4; }

// The columns of the view, as x in the drawing, clipped to it.
class Columns {
 public:
  Columns(const RenderView& view, uint32_t width, double left)
      : start_(static_cast<double>(view.start)),
        perColumn_(view.samplesPerColumn > 0 ? view.samplesPerColumn : 1),
        width_(width),
        left_(left) {}
  // x of the left edge of sample s.
  double At(uint64_t s) const { return (static_cast<double>(s) - start_) / perColumn_; }
  bool Visible(double x0, double x1) const { return x1 > 0 && x0 < width_; }
  bool Inside(double x0, double x1) const { return x0 >= 0 && x1 <= width_; }
  double Clip(double x) const { return left_ + std::clamp(x, 0.0, static_cast<double>(width_)); }

 private:
  double start_, perColumn_;
  uint32_t width_;
  double left_;
};

void Box(std::FILE* out, const char* cls, double x0, double x1, double top) {
  std::fprintf(out, "<rect class=\"%s\" x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\" rx=\"3\"/>\n", cls,
               SvgNumber(x0).c_str(), SvgNumber(top + kBoxTop).c_str(), SvgNumber(std::max(x1 - x0, 0.5)).c_str(),
               SvgNumber(kBoxHeight).c_str());
}

void Text(std::FILE* out, const char* cls, double x, double top, const std::string& text) {
  std::fprintf(out, "<text class=\"%s\" x=\"%s\" y=\"%s\">%s</text>\n", cls, SvgNumber(x).c_str(),
               SvgNumber(top + kTextBaseline).c_str(), SvgEscape(text).c_str());
}

void WriteBoxes(std::FILE* out, const AnnotationRow& row, const Columns& c, double top) {
  // A run of narrow boxes collects here until a wide one or a gap ends it.
  double bandFrom = 0, bandTo = -1;
  size_t bandCount = 0;
  auto endBand = [&] {
    if (bandCount == 0) return;
    Box(out, "words", c.Clip(bandFrom), c.Clip(bandTo), top);
    // Its count, with a word to say what it counts where there is room.
    const std::string count = std::to_string(bandCount);
    const double room = c.Clip(bandTo) - c.Clip(bandFrom);
    for (const std::string& text : {count + (bandCount == 1 ? " value" : " values"), count}) {
      if (TextWidth(text) <= room) {
        Text(out, "count", (c.Clip(bandFrom) + c.Clip(bandTo)) / 2, top, text);
        break;
      }
    }
    bandCount = 0;
  };
  for (const AnnotationBox& box : row.boxes) {
    const double x0 = c.At(box.first), x1 = c.At(box.last + 1);
    if (!c.Visible(x0, x1)) continue;
    if (x1 - x0 < kReadable) {
      if (bandCount && x0 - bandTo > kNarrowest) endBand();
      if (!bandCount) bandFrom = x0;
      bandTo = x1;
      ++bandCount;
      continue;
    }
    endBand();
    const double left = c.Clip(x0), right = c.Clip(x1);
    Box(out, "word", left, right, top);
    // The value where it fits, else its short form.
    for (const std::string* text : {&box.text, &box.brief}) {
      if (!text->empty() && TextWidth(*text) <= right - left) {
        Text(out, "value", (left + right) / 2, top, *text);
        break;
      }
    }
  }
  endBand();
}

void WriteMarkers(std::FILE* out, const AnnotationRow& row, const Columns& c, double top) {
  using Anchor = AnnotationMarker::Anchor;
  double freeFrom = -1e300;  // markers do not overlap the one drawn before
  for (const AnnotationMarker& m : row.markers) {
    const double at = c.At(m.sample);
    double x0 = 0, x1 = 0;
    const double width = TextWidth(m.text);
    switch (m.anchor) {
      case Anchor::kEndsAt:
        x0 = at - width;
        x1 = at;
        break;
      case Anchor::kStartsAt:
        x0 = at;
        x1 = at + width;
        break;
      case Anchor::kSpan:
        x0 = c.At(m.from);
        x1 = c.At(m.sample + 1);
        if (x1 - x0 < width) {
          // Too narrow for its text: centred on its bit, if there is room.
          const double middle = (x0 + x1) / 2;
          x0 = middle - width / 2;
          x1 = middle + width / 2;
        }
        break;
    }
    if (!c.Visible(x0, x1) || x0 < freeFrom) continue;
    Box(out, m.warning ? "warn" : "mark", c.Clip(x0), c.Clip(x1), top);
    if (c.Inside(x0, x1)) Text(out, "value", c.Clip((x0 + x1) / 2), top, m.text);
    freeFrom = x1 + 1;
  }
}

// Of the row's boxes in view; a row of markers alone counts as readable.
double MedianWidth(const AnnotationRow& row, const Columns& c) {
  std::vector<double> widths;
  for (const AnnotationBox& box : row.boxes) {
    const double x0 = c.At(box.first), x1 = c.At(box.last + 1);
    if (c.Visible(x0, x1)) widths.push_back(x1 - x0);
  }
  if (widths.empty()) return kReadable;
  std::nth_element(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(widths.size() / 2), widths.end());
  return widths[widths.size() / 2];
}

}  // namespace

void WriteAnnotationRows(std::FILE* out, const RenderView& view, uint32_t width, double left, double top) {
  const Columns columns(view, width, left);
  for (const AnnotationRow& row : view.annotations) {
    std::fprintf(out, "<g class=\"decoder\">\n");
    std::fprintf(out, "<text class=\"label\" x=\"%s\" y=\"%s\">%s</text>\n", SvgNumber(left - 8).c_str(),
                 SvgNumber(top + kTextBaseline).c_str(), SvgEscape(row.label).c_str());
    std::fprintf(out, "<line class=\"lane\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\"/>\n", SvgNumber(left).c_str(),
                 SvgNumber(top + kBoxTop + kBoxHeight / 2).c_str(), SvgNumber(left + width).c_str(),
                 SvgNumber(top + kBoxTop + kBoxHeight / 2).c_str());
    WriteBoxes(out, row, columns, top);
    // Zoomed out so far that a value's box could not hold a marker's text,
    // markers would only cover the values: they come back when there is room.
    double widest = kReadable;
    for (const AnnotationMarker& m : row.markers) widest = std::max(widest, TextWidth(m.text));
    if (MedianWidth(row, columns) >= widest) WriteMarkers(out, row, columns, top);
    std::fputs("</g>\n", out);
    top += kAnnotationRow;
  }
}

}  // namespace tqla::cli
