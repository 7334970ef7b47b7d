// DecodeSerial: alignment by sync pattern and by frame edge, word widths and
// order, record lines, and synthesized links decoded back.
#include <algorithm>
#include <random>

#include "decoders_fixture.h"
#include "stream_waveforms.h"

namespace tqla::test {
namespace {

constexpr int kClock = 1, kData = 4, kFrame = 5;
struct Options {
  uint32_t bits = 8;
  bool frameMode = false;
  uint32_t sync = 0x7E;
  bool frameRising = false;
  bool clockRising = true;
  bool msbFirst = true;
  int32_t perLine = 8;
  uint32_t delimiter = TQLA_DELIMITER_COMMA;
};

class SerialTest : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("SER"));
  }
  void Use(Lines& lines, double tail) {
    std::vector<uint32_t> words = lines.Render(rate_, tail);
    const uint32_t last = words.back();
    DecodersTest::Use(std::move(words), last);
  }
  int32_t Decode(const Options& o, char* protocolFile = nullptr) {
    return DecodeSerial(samples_.data(), out(), 0, length(), static_cast<uint32_t>(TQLA_RATE_CODE(rate_ / 1e6)), kData,
                        o.sync, o.frameRising, kFrame, o.frameMode, kClock, o.clockRising, o.bits, o.msbFirst,
                        o.delimiter, 0, o.perLine, protocolFile, packets(), error_);
  }
  double rate_ = 24e6;
};

// A continuous bit stream, most significant bit of each value first.
void Stream(Lines& lines, std::initializer_list<std::pair<uint64_t, int>> pieces) {
  SerialTransmitter link{lines, kClock, kData, true, 0.5e-6};
  link.Idle();
  for (const auto& [value, bits] : pieces) link.Bits(value, bits, true);
}

TEST_F(SerialTest, PatternAlignmentAndLines) {
  // 0x7E after three bits: the first 0x7E on any bit boundary, then whole
  // bytes from there.
  Lines lines(0);
  Stream(lines, {{0b101, 3}, {0x7E, 8}, {0x12, 8}, {0x34, 8}, {0x56, 8}, {0x7, 3}});
  Use(lines, 5e-6);
  ASSERT_EQ(Decode({}), 1);
  const std::string records = Read("records.txt");
  EXPECT_EQ(records.substr(records.find(',') + 1), " SER, 7E,12,34,56,");  // no line end before the first line
  ASSERT_EQ(Decode({.perLine = 2}), 1);  // the sync word counts as the first of its line
  EXPECT_EQ(Bodies(), (Texts{"7E,12,", "34,56,"}));
  ASSERT_EQ(Decode({.perLine = 1, .delimiter = 2}), 1);
  EXPECT_EQ(Bodies(), (Texts{"7E ", "12 ", "34 ", "56 "}));
  // Least significant bit first: 0x7E reversed is 0x7E, the bytes after it
  // read reversed.
  ASSERT_EQ(Decode({.msbFirst = false}), 1);
  EXPECT_EQ(Bodies(), (Texts{"7E,48,2C,6A,"}));

  // 32 bits are compared on all 32: a pattern differing only in bit 28
  // comes first and does not align.
  Lines wide(0);
  Stream(wide, {{0xB5C3F00F, 32}, {0xA5C3F00F, 32}, {0x01234567, 32}, {0xABC, 12}});
  Use(wide, 5e-6);
  ASSERT_EQ(Decode({.bits = 32, .sync = 0xA5C3F00F}), 1);
  EXPECT_EQ(Bodies(), (Texts{"A5C3F00F,01234567,"}));
  // 12-bit words print three digits.
  ASSERT_EQ(Decode({.bits = 12, .sync = 0x00F}), 1);
  EXPECT_EQ(Bodies(), (Texts{"00F,A5C,3F0,0F0,123,456,7AB,"}));
}

TEST_F(SerialTest, FrameAlignmentAndBits) {
  // The frame line falls after two stray bits; its count of words per line
  // starts at 0, so the first line is as long as the others.
  Lines lines(1u << kFrame);
  SerialTransmitter link{lines, kClock, kData, true, 0.5e-6};
  link.Idle();
  link.Bits(0b11, 2, true);
  const double frameStart = link.t;
  link.Frame(kFrame, false, 0.3e-6);
  link.Bits(0xA5C3, 16, true);
  link.Bits(0x5, 3, true);
  Use(lines, 5e-6);
  // Every bit reaches the packet engine as a 1-bit entry, before alignment
  // too; this protocol cuts a packet at each clock rise.
  const char* fromClock =
      "[PROTOCOL]\nNAME = P\n[START]\nTYPE = SIGNAL\nSIGNAL = 1\nLEVEL = 1\n[END]\nTYPE = EVENT\nEVENT = 127\n"
      "[FIELDS]\nFIELDS X.N.H\n[DEBUG]\nDEBUGON\n";
  ASSERT_EQ(Decode({.bits = 4, .frameMode = true, .sync = 0xFFFF, .perLine = 2}, protocol(fromClock)), 1);
  EXPECT_EQ(Bodies(), (Texts{"A,5,", "C,3,"}));
  const std::vector<RecordLine> records = RecordLines(Read("records.txt"), "SER");
  EXPECT_NEAR(records[0].seconds, frameStart, 1 / rate_ + 0.05e-6);
  // Its first packet holds the first stray bit, sent before any record text.
  const auto rise = std::find_if(samples_.begin(), samples_.end(), [](uint32_t w) { return w & (1u << kClock); });
  const std::string packets = Read("packets.txt");
  EXPECT_NE(packets.find("\nP," + std::to_string(rise - samples_.begin()) + ",X,1,EoP, ,0,0\n"), std::string::npos)
      << packets;
  ASSERT_EQ(Decode({.bits = 4, .frameMode = true, .frameRising = true}), 1);
  EXPECT_EQ(Read("records.txt"), "");  // the frame line never rises
}

TEST_F(SerialTest, LinksDecodeToTheWordsSent) {
  std::mt19937 random(11);
  const struct {
    const char* what;
    uint32_t bits;
    bool frameMode, frameRising, clockRising, msbFirst;
  } links[] = {
      {"9-bit words framed by chip select", 9, true, false, true, true},
      {"9-bit words framed by chip select, LSB first, falling clock", 9, true, false, false, false},
      {"Microwire-style transactions", 25, true, true, true, true},
      {"a stream after a 16-bit sync word", 16, false, false, true, true},
  };
  constexpr uint32_t kSync = 0xF628;
  for (const auto& link : links) {
    for (double rate : {24e6, 8e6, 2e6}) {
      rate_ = rate;
      Lines lines(link.frameRising ? 0 : 1u << kFrame);
      SerialTransmitter tx{lines, kClock, kData, link.clockRising, 2e-6};
      tx.Idle();
      std::vector<uint32_t> sent;
      double aligned = 0;
      auto word = [&](uint32_t value) {
        tx.Bits(value, static_cast<int>(link.bits), link.msbFirst);
        sent.push_back(value);
      };
      if (link.frameMode) {
        // Chip-select frames of a few words, or one Microwire transaction
        // each: start bit, 2-bit opcode, 6-bit address, 16 data bits.
        for (int frame = 0; frame < 4; ++frame) {
          if (frame == 0) aligned = tx.t;
          tx.Frame(kFrame, link.frameRising, 1e-6);
          const int words = link.bits == 25 ? 1 : 3 + frame;
          for (int k = 0; k < words; ++k) word(static_cast<uint32_t>(random()) & ((1u << link.bits) - 1));
          tx.Frame(kFrame, !link.frameRising, 5e-6);
        }
      } else {
        // Stray bits, then the sync word and a gapless stream.
        tx.Bits(0b0110100, 7, true);
        tx.Bits(kSync, 16, true);
        aligned = tx.t - 2e-6;  // the active edge of its last bit, half a bit before it ends
        sent.push_back(kSync);
        for (int k = 0; k < 20; ++k) word(static_cast<uint16_t>(random()));
      }
      Use(lines, 10e-6);
      Options o{link.bits, link.frameMode, kSync, link.frameRising, link.clockRising, link.msbFirst, 4};
      const std::string records = SameInBothWalkModes(*this, [&] { return Decode(o, protocol(kSignalProtocols)); });
      const std::vector<RecordLine> lines_ = RecordLines(records, "SER");
      std::vector<std::string> decoded, expected;
      for (const RecordLine& line : lines_) {
        const Texts values = Split(line.body, ',');
        EXPECT_TRUE(values.size() == 4 || &line == &lines_.back()) << line.body;
        decoded.insert(decoded.end(), values.begin(), values.end());
      }
      for (uint32_t value : sent) expected.push_back(Hex(value, static_cast<int>((link.bits + 3) / 4)));
      EXPECT_EQ(decoded, expected) << link.what << " at " << rate;
      ASSERT_FALSE(lines_.empty());
      EXPECT_NEAR(lines_[0].seconds, aligned, 1 / rate + 0.05e-6) << link.what << " at " << rate;
    }
  }
}

TEST_F(SerialTest, BadInput) {
  Lines lines(0);
  Stream(lines, {{0x7E, 8}, {0x12, 8}});
  Use(lines, 5e-6);
  const struct {
    Options options;
    const char* error;
  } refused[] = {
      {{.bits = 0}, "Bits per word must be 1 to 32"},
      {{.bits = 33}, "Bits per word must be 1 to 32"},
      {{.bits = 8, .sync = 0x17E}, "Sync pattern 17E does not fit in 8 bits"},
      {{.bits = 1, .sync = 2}, "Sync pattern 2 does not fit in 1 bits"},
  };
  for (const auto& c : refused) {
    std::remove(reinterpret_cast<char*>(out()));
    EXPECT_EQ(Decode(c.options), 0);
    EXPECT_STREQ(error_, c.error);
    EXPECT_FALSE(std::filesystem::exists(outPath_));
  }
  // In frame mode the pattern is not used; a reversed range decodes the same.
  ASSERT_EQ(Decode({.bits = 8, .frameMode = true, .sync = 0x17E}), 1);
  ASSERT_EQ(DecodeSerial(samples_.data(), out(), length(), -3, TQLA_RATE_24MHZ, kData, 0x7E, 0, kFrame, 0, kClock, 1, 8,
                         1, TQLA_DELIMITER_COMMA, 0, 8, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(Bodies(), (Texts{"7E,12,"}));
  EXPECT_EQ(DecodeSerial(nullptr, out(), 0, 5, TQLA_RATE_24MHZ, kData, 0x7E, 0, kFrame, 0, kClock, 1, 8, 1,
                         TQLA_DELIMITER_COMMA, 0, 8, nullptr, nullptr, error_),
            0);
  EXPECT_STREQ(error_, "No sample words to decode");
}

}  // namespace
}  // namespace tqla::test
