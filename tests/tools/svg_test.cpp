// The SVG drawing: well-formed, and one element per run of a trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "capture.h"
#include "operations.h"
#include "svg_render.h"
#include "test_support.h"
#include "tool_run.h"

namespace tqla::cli {
namespace {

// Checks that every tag is closed in order; counts elements as "name" and
// "name.class".
std::map<std::string, int> CountElements(const std::string& svg) {
  std::map<std::string, int> counts;
  std::vector<std::string> open;
  for (size_t at = svg.find('<'); at != std::string::npos; at = svg.find('<', at + 1)) {
    const size_t end = svg.find('>', at);
    EXPECT_NE(end, std::string::npos);
    if (end == std::string::npos) break;
    const std::string tag = svg.substr(at + 1, end - at - 1);
    EXPECT_EQ(tag.find('<'), std::string::npos) << "'<' inside a tag: " << tag;
    if (tag[0] == '?') continue;
    if (tag[0] == '/') {
      EXPECT_FALSE(open.empty()) << tag;
      if (open.empty()) break;
      EXPECT_EQ(open.back(), tag.substr(1));
      open.pop_back();
      continue;
    }
    const std::string name = tag.substr(0, tag.find_first_of(" /"));
    ++counts[name];
    const size_t cls = tag.find("class=\"");
    if (cls != std::string::npos) ++counts[name + "." + tag.substr(cls + 7, tag.find('"', cls + 7) - cls - 7)];
    if (tag.back() != '/') open.push_back(name);
  }
  EXPECT_TRUE(open.empty()) << "unclosed " << (open.empty() ? "" : open.back());
  return counts;
}

TEST(Svg, OneElementPerRunAndBalancedTags) {
  ScreenTraces t;
  t.width = 10;
  for (auto& codes : t.logic) codes.assign(10, 2);
  t.logic[0] = {0, 0, 1, 1, 2, 2, 0, 1, 1, 1};  // two steady runs, one band
  t.logic[1].assign(10, 1);                     // steady, no band
  t.minimum[0] = {256, 100, 100, 120, 256, 256, 256, 256, 256, 256};
  t.maximum[0] = {256, 140, 100, 130, 256, 256, 256, 256, 256, 256};
  RenderView view;
  view.rateHz = 1000000;
  view.samplesPerColumn = 100;  // 1 ms across: ticks every 200 us
  view.trigger = 500;
  view.title = "a <b> & \"c\"";
  const std::string svg = Written([&](std::FILE* out) { WriteSvg(out, t, view); });
  const auto counts = CountElements(svg);
  EXPECT_EQ(counts.at("svg"), 1);
  EXPECT_EQ(counts.at("g.logic"), 16);
  EXPECT_EQ(counts.at("g.scope"), 1);
  EXPECT_EQ(counts.at("rect.band"), 1 + 14);
  EXPECT_EQ(counts.at("path.level"), 2);
  EXPECT_EQ(counts.at("path.trace"), 1);
  EXPECT_EQ(counts.at("line.trigger"), 1);
  EXPECT_EQ(counts.at("text.label"), 17);
  EXPECT_EQ(counts.at("text.tick"), 6);
  EXPECT_NE(svg.find(">0<"), std::string::npos);
  EXPECT_NE(svg.find(">400 us<"), std::string::npos);
  EXPECT_NE(svg.find(">1.0 ms<"), std::string::npos);
  EXPECT_NE(svg.find("a &lt;b&gt; &amp; &quot;c&quot;"), std::string::npos);
  // Three strokes for the three columns with data; d0's level changes twice.
  const size_t trace = svg.find("class=\"trace\" d=\"") + 17;
  const std::string strokes = svg.substr(trace, svg.find('"', trace) - trace);
  EXPECT_EQ(std::count(strokes.begin(), strokes.end(), 'M'), 3) << strokes;
  EXPECT_NE(svg.find("d=\"M56 58H58V44H60M62 58H63V44H66\""), std::string::npos) << svg.substr(0, 2000);
}

// Steps and units the drawing above does not reach (it has 200 us ticks and "0").
TEST(Svg, TickLabelsInEngineeringUnits) {
  EXPECT_DOUBLE_EQ(TickStep(8e-6), 1e-6);
  EXPECT_DOUBLE_EQ(TickStep(40), 5);
  EXPECT_EQ(TickLabel(2.5e-8, 5e-9), "25 ns");
  EXPECT_EQ(TickLabel(1.5e-6, 5e-7), "1.5 us");
  EXPECT_EQ(TickLabel(1.2e-3, 2e-4), "1.2 ms");
  EXPECT_EQ(TickLabel(3, 1), "3 s");
}

TEST(Svg, RendersACaptureThroughTheLibrary) {
  test::TempDir dir;
  Capture capture;
  for (uint32_t i = 0; i < 400; ++i) capture.samples.push_back((i / 50) & 1 ? 0x90900001u : 0x70700000u);
  capture.analogChannels = kCh1InUse;
  RenderOptions options;
  options.width = 200;  // two samples per column
  const std::string path = dir.file("r.svg");
  RenderCapture(capture, options, path, "r");
  const auto counts = CountElements(Text(path));
  EXPECT_EQ(counts.at("g.logic"), 16);
  EXPECT_EQ(counts.at("g.scope"), 1) << "CH2 is not in use";
  // d0 changes 7 times: a band at each change, and the two end columns the
  // library leaves undrawn; d1..d15 stay low, one band at the end each.
  EXPECT_EQ(counts.at("rect.band"), 7 + 1 + 15);
  EXPECT_EQ(counts.at("path.level"), 16);
}

}  // namespace
}  // namespace tqla::cli
