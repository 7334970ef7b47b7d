// DecodeSPIVariable and DecodeSPI: word sizes, records, frames, and
// synthesized traffic in all four modes decoded back.
#include <random>

#include "decoders_fixture.h"
#include "waveforms.h"

namespace tqla::test {
namespace {

constexpr int kSs = 0, kSck = 1, kMosi = 2, kMiso = 3;

class SpiTest : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("SPI"));
  }
  // Frames of (MOSI, MISO) words in a mode; idle clock at its polarity.
  void Synthesize(int mode, int bits, const std::vector<std::vector<std::pair<uint32_t, uint32_t>>>& frames,
                  double rate = 24e6, double clock = 1e6) {
    Lines lines(1u << kSs | ((mode & 2) ? 1u << kSck : 0));
    SpiMaster bus{lines, kSs, kSck, kMosi, kMiso, mode, 0.5 / clock};
    for (const auto& frame : frames) {
      std::vector<uint32_t> out, in;
      for (const auto& [mosi, miso] : frame) out.push_back(mosi), in.push_back(miso);
      bus.Frame(out, in, bits);
    }
    Use(lines.Render(rate, 1e-5), lines.idle());
  }
  int32_t Variable(int mode, uint32_t format, uint32_t useCs, int32_t perRecord, int32_t wordSize,
                   uint32_t delimiter = TQLA_DELIMITER_COMMA, char* protocolFile = nullptr,
                   int32_t rate = TQLA_RATE_24MHZ) {
    const uint32_t rising = (mode == 0 || mode == 3) ? 1 : 0;
    return DecodeSPIVariable(samples_.data(), out(), 0, length(), rate, kSs, kSck, kMosi, kMiso, rising, rising,
                             delimiter, format, useCs, perRecord, wordSize, protocolFile, packets(), error_);
  }
  int32_t Fixed(uint32_t format, uint32_t useCs, int32_t perRecord, uint32_t delimiter = TQLA_DELIMITER_COMMA) {
    return DecodeSPI(samples_.data(), out(), 0, length(), TQLA_RATE_24MHZ, kSs, kSck, kMosi, kMiso, 1, 1, delimiter,
                     format, useCs, perRecord, nullptr, nullptr, nullptr);
  }
};

TEST_F(SpiTest, WordSizesAndValueFormats) {
  const struct {
    int bits;
    int32_t wordSize;
    uint32_t format, delimiter, mosi, miso;
    const char* body;
  } cases[] = {
      {12, 12, 1, 1, 0x123, 0xABC, "ABC, 123, "},  {8, 0, 1, 1, 0x23, 0xBC, "BC, 23, "},
      {8, 33, 1, 2, 0x23, 0xBC, "BC  23  "},       {32, 32, 1, 1, 0x01234567, 0x89ABCDEF, "89ABCDEF  01234567  "},
      {32, 32, 0, 1, 1, 0xFFFFFFFE, "-2,1,"},       {8, 8, 2, 1, 'B', 'A', "AB"},
      {4, 4, 1, 1, 0x3, 0xC, "C, 3, "}};
  for (const auto& c : cases) {
    Synthesize(0, c.bits, {{{c.mosi, c.miso}}});
    ASSERT_EQ(Variable(0, c.format, 1, 4, c.wordSize, c.delimiter), 1);
    EXPECT_EQ(Read("records.txt"), std::string("\n 11.0us, SPI, MISO,MOSI: ") + c.body) << c.wordSize;
  }
}

TEST_F(SpiTest, RecordsWithoutChipSelectCloseByWordCount) {
  // Six words; the first bits of every word are 0, the timestamps still show
  // each record's first clock cycle.
  Synthesize(0, 8, {{{1, 0x10}, {2, 0x20}, {3, 0x30}, {4, 0x40}, {5, 0x50}, {6, 0x60}}});
  ASSERT_EQ(Variable(0, TQLA_FORMAT_HEX, 0, 4, 8), 1);
  EXPECT_EQ(Read("records.txt"),
            "\n 11.0us, SPI, MISO,MOSI: 10, 01, 20, 02, 30, 03, 40, 04, "
            "\n 43.0us, SPI, MISO,MOSI: 50, 05, 60, 06, ");
  EXPECT_EQ(Fixed(TQLA_FORMAT_HEX, 0, 4), 0);
  EXPECT_EQ(Read("records.txt"),
            " 11.0us, SPI, MOSI: 01, 02, 03, 04, \n 11.0us, SPI, MISO: 10, 20, 30, 40, \n"
            " 43.0us, SPI, MOSI: 05, 06, \n 43.0us, SPI, MISO: 50, 60, \n");
  StartTimestamp(1);  // the MISO header is formatted right after the MOSI one
  EXPECT_EQ(Fixed(TQLA_FORMAT_DECIMAL, 0, 4, TQLA_DELIMITER_BLANK), 0);
  EXPECT_EQ(Read("records.txt"),
            "+  0.0ns, SPI, MOSI:   1   2   3   4 \n+  0.0ns, SPI, MISO:  16  32  48  64 \n"
            "+ 32.0us, SPI, MOSI:   5   6 \n+  0.0ns, SPI, MISO:  80  96 \n");
}

TEST_F(SpiTest, ChipSelectFramesAndEvents) {
  // A frame of two words, then an SS-low pulse without a complete word.
  Synthesize(0, 8, {{{0xA5, 0x5A}, {0x0F, 0xF0}}, {}});
  EXPECT_EQ(Fixed(TQLA_FORMAT_HEX, 1, 1), 0);
  EXPECT_EQ(Read("records.txt"),
            " 11.0us, SPI, MOSI: A5, 0F, \n 11.0us, SPI, MISO: 5A, F0, \n"
            " 11.0us, SPI, MOSI: \n 11.0us, SPI, MISO: \n");
  ASSERT_EQ(Variable(0, TQLA_FORMAT_HEX, 1, 1, 8, TQLA_DELIMITER_COMMA,
                     protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP))),
            1);
  const std::string packets = Read("packets.txt");
  EXPECT_NE(packets.find("EVENT,01,DATA,5A,DATA,A5,DATA,F0,DATA,0F,EVENT,02,"), std::string::npos) << packets;
  EXPECT_NE(packets.find("Packet Debug, ,EVENT,01,EVENT,02,"), std::string::npos) << packets;
  EXPECT_NE(packets.find("P,240,X,5AF0,EoP, ,0,70\n"), std::string::npos) << packets;
}

TEST_F(SpiTest, WideWordsReachThePacketEngineInBytePieces) {
  Synthesize(0, 12, {{{0xABC, 0x123}}});
  ASSERT_EQ(Variable(0, TQLA_FORMAT_HEX, 1, 1, 12, TQLA_DELIMITER_COMMA,
                     protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP))),
            1);
  EXPECT_NE(Read("packets.txt").find("EVENT,01,DATA,01,DATA,23,DATA,0A,DATA,BC,EVENT,02,"), std::string::npos);
  Synthesize(0, 20, {{{0xABCDE, 0x12345}}});
  ASSERT_EQ(Variable(0, TQLA_FORMAT_HEX, 1, 1, 20, TQLA_DELIMITER_COMMA,
                     protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP))),
            1);
  EXPECT_NE(Read("packets.txt").find("EVENT,01,DATA,01,DATA,23,DATA,45,DATA,0A,DATA,BC,DATA,DE,EVENT,02,"),
            std::string::npos);
}

TEST_F(SpiTest, AllModesDecodeToTheWordsSent) {
  std::mt19937 random(62);
  for (int mode = 0; mode < 4; ++mode) {
    for (int bits : {8, 12}) {
      for (double rate : {24e6, 8e6}) {
        std::vector<std::vector<std::pair<uint32_t, uint32_t>>> frames(5);
        std::string expected;
        for (auto& frame : frames) {
          for (int k = 1 + random() % 4; k > 0; --k) {
            frame.emplace_back(random() & ((1u << bits) - 1), random() & ((1u << bits) - 1));
            char text[32];
            std::snprintf(text, sizeof text, "%0*X, %0*X, ", bits / 4, frame.back().second, bits / 4,
                          frame.back().first);
            expected += text;
          }
        }
        Synthesize(mode, bits, frames, rate, rate / 24);
        const std::string records = SameInBothWalkModes(*this, [&] {
          return Variable(mode, TQLA_FORMAT_HEX, 1, 100, bits, TQLA_DELIMITER_COMMA, protocol(kSignalProtocols),
                          static_cast<int32_t>(TQLA_RATE_CODE(rate / 1e6)));
        });
        std::string decoded;
        for (size_t at = 0; (at = records.find("MOSI: ", at)) != std::string::npos;) {
          at += 6;
          decoded += records.substr(at, records.find('\n', at) - at);
        }
        EXPECT_EQ(decoded, expected) << "mode " << mode << ", " << bits << " bits at " << rate;
      }
    }
  }
}

}  // namespace
}  // namespace tqla::test
