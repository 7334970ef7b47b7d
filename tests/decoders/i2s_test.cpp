// DecodeI2S: word layouts, delays, bit order, synchronisation, and
// synthesized stereo streams decoded back.
#include <random>

#include "decoders_fixture.h"
#include "stream_waveforms.h"

namespace tqla::test {
namespace {

constexpr int kData = 3, kClock = 1, kWordSelect = 2;

struct Layout {
  int wordBits = 16;
  int slotBits = 16;
  int delay = 1;
  bool invertedClock = false;
};

class I2sTest : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("I2S"));
  }
  // Sends the words as slots, left first, and makes them the buffer.
  I2sTransmitter Send(const std::vector<uint32_t>& words, const Layout& l, double bitTime = 1e-6,
                      double rate = 24e6) {
    Lines lines(0);
    I2sTransmitter link{lines, kWordSelect, kClock, kData, bitTime, l.slotBits, l.delay, l.invertedClock};
    link.Send(words, l.wordBits);
    std::vector<uint32_t> rendered = lines.Render(rate, 4 * bitTime);
    const uint32_t last = rendered.back();
    Use(std::move(rendered), last);
    return link;
  }
  int32_t Decode(int32_t delay, uint32_t bits, uint32_t msbFirst = 1, uint32_t hex = TQLA_FORMAT_HEX,
                 int32_t perLine = 2, uint32_t delimiter = TQLA_DELIMITER_COMMA, uint32_t syncHigh = 0,
                 uint32_t rising = 1, int32_t rate = TQLA_RATE_24MHZ, char* protocolFile = nullptr, int32_t start = 0) {
    return DecodeI2S(samples_.data(), out(), start, length(), static_cast<uint32_t>(rate), kData, delay, 0, syncHigh,
                     kWordSelect, 0, kClock, rising, bits, msbFirst, delimiter, hex, perLine, protocolFile, packets(),
                     error_);
  }
};

TEST_F(I2sTest, WordLayoutsAndNumberFormats) {
  // Standard I2S: delay 1, rising edge, 16 bits, most significant first.
  Send({0x8000, 0x7FFF, 0x0001, 0xFFFF}, {});
  ASSERT_EQ(Decode(1, 16, 1, TQLA_FORMAT_DECIMAL), 1);
  EXPECT_EQ(Bodies(), (Texts{"-32768,32767,", "1,-1,"}));
  EXPECT_EQ(Read("records.txt").rfind("\n", 0), 0u);  // records open with a line end
  ASSERT_EQ(Decode(1, 16, 1, TQLA_FORMAT_HEX), 1);
  EXPECT_EQ(Bodies(), (Texts{"8000,7FFF,", "0001,FFFF,"}));
  ASSERT_EQ(Decode(1, 16, 1, TQLA_FORMAT_HEX, 4, TQLA_DELIMITER_BLANK), 1);
  EXPECT_EQ(Bodies(), (Texts{"8000 7FFF 0001 FFFF "}));
  ASSERT_EQ(Decode(1, 16, 1, TQLA_FORMAT_HEX, 0), 1);  // words per line below 1: one a line
  EXPECT_EQ(Bodies(), (Texts{"8000,", "7FFF,", "0001,", "FFFF,"}));
  // Synchronising on a change to high skips the first (left) word.
  ASSERT_EQ(Decode(1, 16, 1, TQLA_FORMAT_HEX, 2, TQLA_DELIMITER_COMMA, 1), 1);
  EXPECT_EQ(Bodies(), (Texts{"7FFF,0001,", "FFFF,"}));

  // 24 bits in 32-bit slots print six digits; the first 20 of them five.
  Send({0xABCDEF, 0x812345}, {24, 32, 1});
  ASSERT_EQ(Decode(1, 24, 1, TQLA_FORMAT_HEX), 1);
  EXPECT_EQ(Bodies(), (Texts{"ABCDEF,812345,"}));
  ASSERT_EQ(Decode(1, 24, 1, TQLA_FORMAT_DECIMAL), 1);
  EXPECT_EQ(Bodies(), (Texts{"-5517841,-8314043,"}));
  ASSERT_EQ(Decode(1, 20, 1, TQLA_FORMAT_HEX), 1);
  EXPECT_EQ(Bodies(), (Texts{"ABCDE,81234,"}));

  // Least significant first: the bits 1,0,0,0,0,0,0,0 are 0x01.
  Send({0x80, 0x01, 0xC0}, {8, 8, 1});
  ASSERT_EQ(Decode(1, 8, 0, TQLA_FORMAT_HEX, 3), 1);
  EXPECT_EQ(Bodies(), (Texts{"01,80,03,"}));

  // 32 bits keep every bit; a delay of 3 edges and the falling clock edge.
  Send({0xFFFFFFFF, 0x80000001}, {32, 32, 3, true});
  ASSERT_EQ(Decode(3, 32, 1, TQLA_FORMAT_HEX, 2, TQLA_DELIMITER_COMMA, 0, 0), 1);
  EXPECT_EQ(Bodies(), (Texts{"FFFFFFFF,80000001,"}));
  ASSERT_EQ(Decode(3, 32, 1, TQLA_FORMAT_DECIMAL, 2, TQLA_DELIMITER_COMMA, 0, 0), 1);
  EXPECT_EQ(Bodies(), (Texts{"-1,-2147483647,"}));
}

TEST_F(I2sTest, BitsAndEndOfData) {
  // Each bit goes to the packet engine as a 1-bit entry at its clock edge,
  // after the signal event of the word-select fall that starts the word; a
  // word cut off by the end of the range is not written.
  Send({0xA5, 0x3C}, {8, 8, 1});
  const char* fromWordSelect =
      "[PROTOCOL]\nNAME = P\n[START]\nTYPE = SIGNAL\nSIGNAL = 2\nLEVEL = 0\n[END]\nTYPE = EVENT\nEVENT = 127\n"
      "[FIELDS]\nFIELDS X.N.H\n[DEBUG]\nDEBUGON\n";
  ASSERT_EQ(Decode(1, 8, 1, TQLA_FORMAT_HEX, 2, TQLA_DELIMITER_COMMA, 0, 1, TQLA_RATE_24MHZ, protocol(fromWordSelect)),
            1);
  EXPECT_EQ(Bodies(), (Texts{"A5,3C,"}));
  const std::string packets = Read("packets.txt");
  EXPECT_NE(packets.find("EVENT,20,DATA,01,DATA,00,DATA,01,DATA,00,DATA,00,DATA,01,DATA,00,DATA,01,"
                         "DATA,00,DATA,00,DATA,01,DATA,01,DATA,01,DATA,01,DATA,00,DATA,00,EVENT,7F,"),
            std::string::npos)
      << packets;
  const auto cut = static_cast<int32_t>((20.01 + 12) * 24);  // in the middle of the second word
  ASSERT_EQ(DecodeI2S(samples_.data(), out(), 0, cut, TQLA_RATE_24MHZ, kData, 1, 0, 0, kWordSelect, 0, kClock, 1, 8, 1,
                      TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 2, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(Bodies(), (Texts{"A5,"}));
}

TEST_F(I2sTest, StereoStreamsDecodeToTheWordsSent) {
  std::mt19937 random(9);
  const struct {
    double frameRate;
    int bits;
    int delay;
    double rate;
  } cases[] = {{48e3, 16, 1, 24e6}, {48e3, 32, 1, 12e6}, {48e3, 32, 0, 24e6}, {48e3, 16, 0, 16e6},
               {8e3, 16, 1, 4e6},   {8e3, 32, 1, 24e6},  {8e3, 32, 0, 4e6},   {8e3, 16, 0, 24e6}};
  for (const auto& c : cases) {
    std::vector<uint32_t> words(24);
    for (uint32_t& w : words) w = static_cast<uint32_t>(random()) >> (32 - c.bits);
    const double bitTime = 1 / (c.frameRate * 2 * c.bits);
    const I2sTransmitter link = Send(words, {c.bits, c.bits, c.delay}, bitTime, c.rate);
    // From the start, and from the middle of the third (left) word: the
    // right word after it is skipped until word select falls again.
    for (const size_t first : {size_t{0}, size_t{4}}) {
      const auto start = static_cast<int32_t>((link.Fall(2 * c.bits) + c.bits / 2 * bitTime) * c.rate);
      const int32_t code = static_cast<int32_t>(TQLA_RATE_CODE(c.rate / 1e6));
      const std::string records = SameInBothWalkModes(*this, [&] {
        return Decode(c.delay, c.bits, 1, TQLA_FORMAT_HEX, 2, TQLA_DELIMITER_COMMA, 0, 1, code,
                      protocol(kSignalProtocols), first ? start : 0);
      });
      const std::vector<RecordLine> lines = RecordLines(records, "I2S");
      ASSERT_EQ(lines.size(), (words.size() - first) / 2) << c.frameRate << " " << c.bits << " " << c.rate;
      for (size_t k = 0; k < lines.size(); ++k) {
        const size_t s = first + 2 * k;
        EXPECT_EQ(lines[k].body, Hex(words[s], c.bits / 4) + "," + Hex(words[s + 1], c.bits / 4) + ",");
        EXPECT_NEAR(lines[k].seconds, link.WordStart(static_cast<int64_t>(s)), 1 / c.rate + 0.05e-6) << k;
      }
    }
  }
}

TEST_F(I2sTest, BadInput) {
  Send({0x1234, 0x5678}, {});
  for (uint32_t bits : {0u, 33u}) {
    std::remove(reinterpret_cast<char*>(out()));
    EXPECT_EQ(Decode(1, bits), 0);
    EXPECT_STREQ(error_, "Bits per word must be 1 to 32");
    EXPECT_FALSE(std::filesystem::exists(outPath_));
  }
  // A reversed range decodes the same; an end past the buffer is clamped;
  // a negative delay is no delay.
  ASSERT_EQ(DecodeI2S(samples_.data(), out(), length() + 1000, -7, TQLA_RATE_24MHZ, kData, 1, 0, 0, kWordSelect, 0,
                      kClock, 1, 16, 1, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 2, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(Bodies(), (Texts{"1234,5678,"}));
  ASSERT_EQ(Decode(-5, 16), 1);
  ASSERT_EQ(Decode(0, 16), 1);
  const std::string delay0 = Read("records.txt");
  ASSERT_EQ(Decode(-5, 16), 1);
  EXPECT_EQ(Read("records.txt"), delay0);
  // Word select changing at every sample, the clock rising only four times:
  // each change reads its word from the same far edges, until a change has
  // fewer than delay + bits edges after it, which ends the run.
  std::vector<uint32_t> words(300000);
  for (uint32_t k = 0; k < words.size(); ++k) {
    const bool clock = k >= 100000 && (k - 100000) % 50000 < 25000;
    words[k] = (k & 1 ? 1u << kWordSelect : 0) | (clock ? 1u << kClock : 0) | 1u << kData;
  }
  Use(words, 0);
  ASSERT_EQ(DecodeI2S(samples_.data(), out(), 0, length(), TQLA_RATE_24MHZ, kData, 1, 0, 0, kWordSelect, 0, kClock, 1,
                      2, 1, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 1 << 30, nullptr, nullptr, error_),
            1);
  const Texts lines = Bodies();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 2u * (150000 - 2));  // the changes at 2 to 149999
  EXPECT_EQ(lines[0].find_first_not_of("3,"), std::string::npos);

  EXPECT_EQ(DecodeI2S(nullptr, out(), 0, 10, TQLA_RATE_24MHZ, kData, 1, 0, 0, kWordSelect, 0, kClock, 1, 16, 1,
                      TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 2, nullptr, nullptr, error_),
            0);
  EXPECT_STREQ(error_, "No sample words to decode");
}

}  // namespace
}  // namespace tqla::test
