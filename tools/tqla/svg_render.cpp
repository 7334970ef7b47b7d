#include "svg_render.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "annotations.h"
#include "capture.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

constexpr double kMinLeft = 56;   // room for the channel labels
constexpr double kCharWidth = 6.6;  // of the 11 px monospace font
constexpr double kRight = 16;
constexpr double kTop = 40;       // room for the title and the trigger flag
constexpr double kLogicRow = 22;  // one logic channel
constexpr double kLogicHigh = 4;  // y of the high line inside a row
constexpr double kLogicLow = 18;  // y of the low line inside a row
constexpr double kScopeRow = 128;  // one scope channel: 255 steps in 120 px, margins
constexpr double kScopeSpan = 120;
constexpr double kAxis = 44;
constexpr uint32_t kNothing = 256;

}  // namespace

std::string SvgEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

std::string SvgNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

namespace {

std::string Num(double value) { return SvgNumber(value); }
std::string Escape(const std::string& text) { return SvgEscape(text); }

// Appends one path command with its coordinates ("M" x y, "H" x, "V" y).
void Command(std::string& path, char command, double a) {
  path += command;
  path += Num(a);
}
void Command(std::string& path, char command, double a, double b) {
  Command(path, command, a);
  path += ' ';
  path += Num(b);
}

void WriteLogicRow(std::FILE* out, const std::vector<uint8_t>& codes, int channel, const std::string& name,
                   double left, double top) {
  std::fprintf(out, "<g class=\"logic\" id=\"d%d\">\n", channel);
  std::fprintf(out, "<text class=\"label\" x=\"%s\" y=\"%s\">%s</text>\n", Num(left - 8).c_str(),
               Num(top + kLogicLow).c_str(), Escape(name).c_str());
  const size_t width = codes.size();
  std::string path;
  for (size_t p = 0; p < width;) {
    const uint8_t code = codes[p];
    size_t end = p + 1;
    if (code == 2) {
      while (end < width && codes[end] == 2) ++end;
      std::fprintf(out, "<rect class=\"band\" x=\"%s\" y=\"%s\" width=\"%zu\" height=\"%s\"/>\n",
                   Num(left + static_cast<double>(p)).c_str(), Num(top + kLogicHigh).c_str(), end - p,
                   Num(kLogicLow - kLogicHigh).c_str());
    } else {
      // One subpath per run of steady columns; a change of level between
      // neighbouring columns (zoomed in) is a vertical edge.
      Command(path, 'M', left + static_cast<double>(p), top + (code ? kLogicHigh : kLogicLow));
      uint8_t level = code;
      while (end < width && codes[end] != 2) {
        if (codes[end] != level) {
          level = codes[end];
          Command(path, 'H', left + static_cast<double>(end));
          Command(path, 'V', top + (level ? kLogicHigh : kLogicLow));
        }
        ++end;
      }
      Command(path, 'H', left + static_cast<double>(end));
    }
    p = end;
  }
  if (!path.empty()) std::fprintf(out, "<path class=\"level\" d=\"%s\"/>\n", path.c_str());
  std::fputs("</g>\n", out);
}

void WriteScopeRow(std::FILE* out, const std::vector<uint32_t>& minimum, const std::vector<uint32_t>& maximum,
                   int channel, double left, double top) {
  const double base = top + (kScopeRow - kScopeSpan) / 2;
  auto y = [&](double value) { return base + (255.0 - value) * kScopeSpan / 255.0; };
  std::fprintf(out, "<g class=\"scope\" id=\"CH%d\">\n", channel + 1);
  std::fprintf(out, "<text class=\"label\" x=\"%s\" y=\"%s\">CH%d</text>\n", Num(left - 8).c_str(),
               Num(y(128) + 4).c_str(), channel + 1);
  std::fprintf(out, "<line class=\"zero\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\"/>\n", Num(left).c_str(),
               Num(y(128)).c_str(), Num(left + static_cast<double>(minimum.size())).c_str(), Num(y(128)).c_str());
  std::string path;
  for (size_t p = 0; p < minimum.size(); ++p) {
    if (minimum[p] >= kNothing || maximum[p] >= kNothing) continue;
    // Each stroke reaches to the previous column's range, so that a trace
    // zoomed in (one value per column) stays joined.
    uint32_t low = minimum[p], high = maximum[p];
    if (p > 0 && minimum[p - 1] < kNothing && maximum[p - 1] < kNothing) {
      if (low > maximum[p - 1]) low = maximum[p - 1];
      if (high < minimum[p - 1]) high = minimum[p - 1];
    }
    // At least one pixel long, so a column of one value shows.
    const double x = left + static_cast<double>(p) + 0.5;
    Command(path, 'M', x, y(high) - 0.5);
    Command(path, 'V', y(low) + 0.5);
  }
  if (!path.empty()) std::fprintf(out, "<path class=\"trace\" d=\"%s\"/>\n", path.c_str());
  std::fputs("</g>\n", out);
}

}  // namespace

ScreenTraces ScaleToScreen(SampleWords& samples, int32_t start, uint32_t width, uint32_t scale,
                           uint8_t analogChannels) {
  ScreenTraces traces;
  traces.width = width;
  for (auto& codes : traces.logic) codes.assign(width, 2);
  SampleBufferLease lease(samples);
  uint32_t* words = samples.empty() ? nullptr : samples.data();
  auto& c = traces.logic;
  ScaleDataToScreenNew(words, c[0].data(), c[1].data(), c[2].data(), c[3].data(), c[4].data(), c[5].data(),
                       c[6].data(), c[7].data(), c[8].data(), c[9].data(), c[10].data(), c[11].data(), c[12].data(),
                       c[13].data(), c[14].data(), c[15].data(), start, width, scale);
  for (int channel = 0; channel < 2; ++channel) {
    if (!(analogChannels & (channel == 0 ? kCh1InUse : kCh2InUse))) continue;
    traces.minimum[channel].assign(width, kNothing);
    traces.maximum[channel].assign(width, kNothing);
    ScaleScopeDataToScreenNew(words, static_cast<uint32_t>(channel + 1), traces.minimum[channel].data(),
                              traces.maximum[channel].data(), start, width, scale);
  }
  return traces;
}

double TickStep(double duration) {
  if (!(duration > 0)) return 1;
  const double raw = duration / 8;
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * decade >= raw * 0.999) return m * decade;
  return 10 * decade;
}

std::string TickLabel(double seconds, double step) {
  static const struct {
    double scale;
    const char* unit;
  } kUnits[] = {{1, "s"}, {1e-3, "ms"}, {1e-6, "us"}, {1e-9, "ns"}, {1e-12, "ps"}};
  const double magnitude = std::fabs(seconds);
  if (magnitude < step * 1e-6) return "0";
  size_t pick = 0;
  while (pick + 1 < std::size(kUnits) && magnitude < kUnits[pick].scale * 0.9999) ++pick;
  const double inUnit = step / kUnits[pick].scale;
  int decimals = inUnit >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(inUnit) - 1e-9));
  if (decimals > 9) decimals = 9;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f %s", decimals, seconds / kUnits[pick].scale, kUnits[pick].unit);
  return text;
}

void WriteSvg(std::FILE* out, const ScreenTraces& traces, const RenderView& view) {
  const double width = traces.width;
  int scopeRows = 0;
  for (const auto& m : traces.minimum) scopeRows += m.empty() ? 0 : 1;
  // The labels on the left take the room the longest one needs.
  size_t labelChars = 4;
  for (const std::string& name : view.names) labelChars = std::max(labelChars, name.size());
  for (const AnnotationRow& row : view.annotations) labelChars = std::max(labelChars, row.label.size());
  const double left = std::max(kMinLeft, 16 + kCharWidth * static_cast<double>(labelChars));
  const double logicTop = kTop;
  const double scopeTop = logicTop + 16 * kLogicRow + 8;
  const double annotationTop = scopeTop + scopeRows * kScopeRow;
  const double axisTop = annotationTop + static_cast<double>(view.annotations.size()) * kAnnotationRow;
  const double totalWidth = left + width + kRight;
  const double totalHeight = axisTop + kAxis;

  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%s\" height=\"%s\" viewBox=\"0 0 %s %s\">\n",
               Num(totalWidth).c_str(), Num(totalHeight).c_str(), Num(totalWidth).c_str(), Num(totalHeight).c_str());
  std::fputs(
      "<style>\n"
      "text { font-family: monospace; font-size: 11px; fill: #222; }\n"
      ".label { text-anchor: end; }\n"
      ".tick { text-anchor: middle; }\n"
      ".level { fill: none; stroke: #0a5; stroke-width: 1.5; }\n"
      ".band { fill: #0a5; fill-opacity: 0.35; stroke: none; }\n"
      ".trace { fill: none; stroke: #c60; stroke-width: 1; }\n"
      ".zero { stroke: #999; stroke-dasharray: 4 3; }\n"
      ".axis { stroke: #222; }\n"
      ".trigger { stroke: #d00; stroke-dasharray: 6 3; }\n"
      ".flag { fill: #d00; }\n"
      "text.flag { fill: #fff; text-anchor: middle; font-weight: bold; }\n",
      out);
  std::fputs(kAnnotationStyle, out);
  std::fputs("</style>\n", out);
  std::fprintf(out, "<rect x=\"0\" y=\"0\" width=\"%s\" height=\"%s\" fill=\"#fff\"/>\n", Num(totalWidth).c_str(),
               Num(totalHeight).c_str());
  std::fprintf(out, "<text x=\"%s\" y=\"18\">%s</text>\n", Num(left).c_str(), Escape(view.title).c_str());

  for (int channel = 0; channel < 16; ++channel) {
    const auto c = static_cast<size_t>(channel);
    WriteLogicRow(out, traces.logic[c], channel, ChannelName(view.names, channel), left, logicTop + channel * kLogicRow);
  }
  double rowTop = scopeTop;
  for (int channel = 0; channel < 2; ++channel) {
    if (traces.minimum[channel].empty()) continue;
    WriteScopeRow(out, traces.minimum[channel], traces.maximum[channel], channel, left, rowTop);
    rowTop += kScopeRow;
  }
  WriteAnnotationRows(out, view, traces.width, left, annotationTop);

  const double r = view.samplesPerColumn > 0 ? view.samplesPerColumn : 1;
  const double rate = view.rateHz ? view.rateHz : 1;
  auto column = [&](double sample) { return (sample - static_cast<double>(view.start)) / r; };
  if (view.trigger) {
    const double x = column(*view.trigger);
    if (x >= 0 && x <= width) {
      // The line through every row, under a flag that names it.
      std::fprintf(out, "<g class=\"trigger-mark\">\n");
      std::fprintf(out, "<line class=\"trigger\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\"/>\n",
                   Num(left + x).c_str(), Num(logicTop - 12).c_str(), Num(left + x).c_str(), Num(axisTop).c_str());
      const double flagWidth = 7 * kCharWidth + 6;
      std::fprintf(out, "<rect class=\"flag\" x=\"%s\" y=\"%s\" width=\"%s\" height=\"13\" rx=\"2\"/>\n",
                   Num(left + x - flagWidth / 2).c_str(), Num(logicTop - 14).c_str(), Num(flagWidth).c_str());
      std::fprintf(out, "<text class=\"flag\" x=\"%s\" y=\"%s\">trigger</text>\n</g>\n", Num(left + x).c_str(),
                   Num(logicTop - 4).c_str());
    }
  }

  std::fputs("<g class=\"axis\">\n", out);
  std::fprintf(out, "<line class=\"axis\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\"/>\n", Num(left).c_str(),
               Num(axisTop + 4).c_str(), Num(left + width).c_str(), Num(axisTop + 4).c_str());
  const double firstTime = static_cast<double>(view.start - view.origin) / rate;
  const double duration = width * r / rate;
  const double step = TickStep(duration);
  for (double k = std::ceil(firstTime / step - 1e-9); k * step <= firstTime + duration * (1 + 1e-9); k += 1) {
    const double t = k * step;
    const double x = left + column(t * rate + static_cast<double>(view.origin));
    std::fprintf(out, "<line class=\"axis\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\"/>\n", Num(x).c_str(),
                 Num(axisTop + 4).c_str(), Num(x).c_str(), Num(axisTop + 10).c_str());
    std::fprintf(out, "<text class=\"tick\" x=\"%s\" y=\"%s\">%s</text>\n", Num(x).c_str(), Num(axisTop + 24).c_str(),
                 TickLabel(t, step).c_str());
  }
  std::fputs("</g>\n</svg>\n", out);
}

}  // namespace tqla::cli
