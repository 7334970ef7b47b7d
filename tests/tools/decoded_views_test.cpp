// Decoded traffic outside tqla decode: annotation rows in pictures and
// record lines while a stream runs, and the BUS:SETTINGS that name them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "capture.h"
#include "cli.h"
#include "live_decode.h"
#include "test_support.h"
#include "tool_run.h"

namespace tqla::cli {
namespace {

struct Element {
  std::string tag, cls, text;
  double x = 0, width = 0;
};

// The elements of the first <g class="decoder"> of a drawing, in order.
std::vector<Element> DecoderRow(const std::string& svg, size_t row = 0) {
  size_t at = 0;
  for (size_t k = 0; k <= row; ++k) {
    at = svg.find("<g class=\"decoder\">", at);
    if (at == std::string::npos) return {};
    at += 1;
  }
  const std::string group = svg.substr(at, svg.find("</g>", at) - at);
  std::vector<Element> elements;
  const std::regex element("<(rect|text) class=\"([a-z]+)\" x=\"([-0-9.]+)\"[^>]*?(?:width=\"([0-9.]+)\")?[^>]*>([^<]*)");
  for (auto it = std::sregex_iterator(group.begin(), group.end(), element); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    elements.push_back({m[1], m[2], m[3 + 2], std::stod(m[3]), m[4].matched ? std::stod(m[4]) : 0});
  }
  return elements;
}

TEST(DecodedPictures, ABoxPerByteInTimeOrderInsideTheDrawing) {
  test::TempDir dir;
  ASSERT_EQ(Tool(dir, "demo --out d").status, 0);
  // A window of 10000 samples around the trigger, drawn 2.5 samples a column.
  const Capture demo = LoadCapture(dir.file("d/demo.tqc"));
  ASSERT_TRUE(demo.trigger);
  const uint32_t from = *demo.trigger - 2000;
  ASSERT_EQ(Tool(dir, "export -O sr -o w.sr --from " + std::to_string(from) + " --to " + std::to_string(from + 10000) +
                          " d/demo.tqc")
                .status,
            0);
  const ToolRun render = Tool(dir, "render --width 4000 --names 0=SCL,d1=SDA --decode i2c:scl=0,sda=1 "
                                   "--decode uart:rx=6,baud=62500,format=char,name=Console -o w.svg w.sr");
  ASSERT_EQ(render.status, 0) << render.err;
  const std::string svg = Text(dir.file("w.svg"));
  EXPECT_NE(svg.find(">SCL</text>"), std::string::npos);
  EXPECT_NE(svg.find(">SDA</text>"), std::string::npos);
  EXPECT_NE(svg.find(">d2</text>"), std::string::npos);

  const std::vector<Element> row = DecoderRow(svg);
  ASSERT_FALSE(row.empty());
  EXPECT_EQ(row[0].text, "I2C");
  const double left = row[0].x + 8, right = left + 4000;
  std::vector<std::string> values;
  double lastX = -1;
  size_t starts = 0, acks = 0;
  for (size_t k = 0; k < row.size(); ++k) {
    if (row[k].tag == "rect" && row[k].cls == "word") {
      EXPECT_GT(row[k].x, lastX) << "boxes in time order";
      EXPECT_GE(row[k].x, left);
      EXPECT_LE(row[k].x + row[k].width, right + 0.01);
      lastX = row[k].x;
      ASSERT_TRUE(k + 1 < row.size() && row[k + 1].cls == "value") << "a box at this zoom shows its value";
      values.push_back(row[k + 1].text.substr(0, 2));
    }
    if (row[k].cls == "value" && row[k].text == "S") ++starts;
    if (row[k].cls == "value" && row[k].text == "ACK") ++acks;
    EXPECT_NE(row[k].cls, "words") << "nothing is collapsed at 2.5 samples a column";
  }
  const ToolRun decoded = Tool(dir, "decode i2c w.sr");
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_EQ(values, RecordHexBytes(decoded.out));
  EXPECT_GE(values.size(), 20u);
  EXPECT_GE(starts, values.size() / 2 - 1);
  EXPECT_GE(acks, values.size() - 2);
  // The serial row under its own name, characters as text.
  const std::vector<Element> serial = DecoderRow(svg, 1);
  ASSERT_FALSE(serial.empty());
  EXPECT_EQ(serial[0].text, "Console");
  EXPECT_NE(svg.find(">'a'</text>"), std::string::npos);

  // Zoomed out over the whole capture the bytes merge into counted bands and
  // the markers stay away.
  ASSERT_EQ(Tool(dir, "render --decode i2c -o all.svg d/demo.tqc").status, 0);
  const std::vector<Element> whole = DecoderRow(Text(dir.file("all.svg")));
  size_t bands = 0, boxes = 0, markers = 0;
  for (const Element& e : whole) {
    bands += e.cls == "words";
    boxes += e.cls == "word";
    markers += e.cls == "mark";
  }
  EXPECT_GT(bands, 0u);
  EXPECT_EQ(markers, 0u);
  EXPECT_LT(bands + boxes, RecordHexBytes(Tool(dir, "decode i2c d/demo.tqc").out).size() / 4);

  // An independent renderer takes the drawing.
  if (std::system("rsvg-convert --version >/dev/null 2>&1") == 0) {
    EXPECT_EQ(std::system(("rsvg-convert -o '" + dir.file("w.png") + "' '" + dir.file("w.svg") + "'").c_str()), 0);
    EXPECT_GT(test::ReadAll(dir.file("w.png")).size(), 1000u);
  }
}

TEST(DecodedPictures, BadDecoderSettingsAreRefusedBeforeAnythingRuns) {
  test::TempDir dir;
  ASSERT_EQ(Tool(dir, "demo --out d").status, 0);
  ExpectFailures(
      dir, {{"render --decode i3c d/demo.tqc", "--decode i3c: unknown bus 'i3c'"},
            {"render --decode i2c:clock=0 d/demo.tqc", "i2c has no setting 'clock' (it takes no-ack, no-markers, scl, sda"},
            {"render --decode i2c:scl=0,,sda=1 d/demo.tqc", "an empty setting"},
            {"render --decode i2c:=3 d/demo.tqc", "'=3' has no name"},
            {"render --decode i2c:scl= d/demo.tqc", "scl= has no value"},
            {"render --decode i2c:scl=16 d/demo.tqc", "--decode i2c:scl=16"},
            {"render --decode spi8 d/demo.tqc", "spi8 hands out no records to draw; use spi"},
            {"render --names 0 d/demo.tqc", "'0' is not CHANNEL=NAME"},
            {"render --names 16=X d/demo.tqc", "--names"},
            {"--sim stream --samples 1000 --decode uart:baud=fast", "--decode uart:baud=fast"},
            {"--sim stream --samples 1000 --decode uart:format=bin", "format does not take bin"}});
}

TEST(LiveDecoding, PrintsWhatDecodingTheSavedStreamPrints) {
  test::TempDir dir;
  // The simulated pod's serial line runs at a sixteenth of the rate; a
  // moderate rate keeps a busy machine from losing blocks.
  const ToolRun live = Tool(dir, "--sim stream -r 4M --samples 2000000 -o s.bin --decode uart:rx=6,baud=250000");
  ASSERT_EQ(live.status, 0) << live.err;
  EXPECT_NE(live.err.find("0 blocks lost"), std::string::npos) << live.err;
  const std::vector<uint8_t> bytes = test::ReadAll(dir.file("s.bin"));
  ASSERT_EQ(bytes.size(), 2000000u);
  Capture saved;
  saved.rateHz = 4000000;
  saved.analogChannels = 0;
  for (uint8_t b : bytes) saved.samples.push_back(b);
  SaveCapture(dir.file("s.tqc"), saved);
  const ToolRun whole = Tool(dir, "decode uart --channels 6 --baud 250000 --name UART s.tqc");
  ASSERT_EQ(whole.status, 0) << whole.err;
  ASSERT_GT(whole.out.size(), 10000u);
  EXPECT_EQ(live.out, whole.out);

  // In blocks of odd sizes, each decoded at once: the same lines.
  const std::string blocks = Written([&](std::FILE* out) {
    LiveDecoder decoder({ParseDecoderSpec("uart:rx=6,baud=250000")}, saved.rateHz, out);
    for (size_t at = 0, k = 0; at < bytes.size(); ++k) {
      const size_t n = std::min<size_t>(bytes.size() - at, k % 3 == 0 ? 7919 : k % 3 == 1 ? 101 : 150000);
      decoder.Add(bytes.data() + at, n);
      decoder.Decode(true);
      at += n;
    }
    decoder.Finish();
  });
  EXPECT_EQ(blocks, whole.out);
}

TEST(LiveDecoding, TimestampsAsTheDecodersWriteThem) {
  EXPECT_EQ(RecordTimestamp(65, 24000000), "  2.7us,");
  EXPECT_EQ(RecordTimestamp(12, 1000000000u), " 12.0ns,");
  EXPECT_EQ(RecordTimestamp(31937, 24000000), "  1.3307ms,");
  EXPECT_EQ(RecordTimestamp(48000000, 24000000), "  2.0000000s ,");
}

}  // namespace
}  // namespace tqla::cli
