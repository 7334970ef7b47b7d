// DecodeParallel: packing and value formats by width, record lines, clock
// edges, events, and synthesized buses decoded back.
#include <random>

#include "decoders_fixture.h"
#include "stream_waveforms.h"

namespace tqla::test {
namespace {

class ParallelTest : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("PAR"));
  }
  int32_t Decode(uint32_t mask, uint32_t useClock, int32_t edge, uint32_t hex, int32_t perLine,
                 uint32_t delimiter = TQLA_DELIMITER_COMMA, uint32_t clock = 15, char* protocolFile = nullptr,
                 int32_t start = 0, int32_t end = -1, int32_t rate = TQLA_RATE_24MHZ) {
    return DecodeParallel(samples_.data(), out(), start, end < 0 ? length() : end, rate, mask, clock, useClock, edge,
                          delimiter, hex, perLine, protocolFile, packets(), error_);
  }
};

TEST_F(ParallelTest, EveryWidthPrintsAsItsFormat) {
  // Every 16-bit value once, one sample each; each mask's value is the
  // packed bits of its channels, printed by the table's format for its width.
  std::vector<uint32_t> words(65536);
  for (uint32_t k = 0; k < 65536; ++k) words[k] = k;
  Use(words, 0);
  const struct {
    uint32_t mask;
    const char* hex;
    const char* decimal;
  } widths[] = {{0x0001, "%01X", "%1d"}, {0x000F, "%01X", "%1d"}, {0x001F, "%02X", "%2d"}, {0x00FF, "%02X", "%2d"},
                {0x01FF, "%03X", "%4d"}, {0x0FFF, "%03X", "%4d"}, {0x1FFF, "%04X", "%5d"}, {0xFFFF, "%04X", "%5d"}};
  for (const auto& w : widths) {
    for (uint32_t hex : {1u, 0u}) {
      for (uint32_t delimiter : {1u, 2u}) {
        ASSERT_EQ(Decode(w.mask, 0, TQLA_EDGE_FALLING, hex, 1 << 30, delimiter, 0, nullptr, 0, 65536), 1);
        std::string expected = "  0.0ns, PAR, ";
        const std::string format = std::string(hex ? w.hex : w.decimal) + (delimiter == 2 ? " " : ",");
        char text[16];
        for (uint32_t k = 0; k < 65536; ++k) {
          std::snprintf(text, sizeof text, format.c_str(), k & w.mask);
          expected += text;
        }
        EXPECT_TRUE(Read("records.txt") == expected) << std::hex << w.mask << " " << format;
      }
    }
  }
}

TEST_F(ParallelTest, PackingLinesAndClockEdges) {
  // Channels 0 and 2 pack into bits 0 and 1; channel 1 is not on the bus.
  Use({0b000, 0b001, 0b100, 0b101, 0b010, 0b111}, 0);
  ASSERT_EQ(Decode(0x0005, 0, TQLA_EDGE_FALLING, TQLA_FORMAT_HEX, 16), 1);
  EXPECT_EQ(Read("records.txt"), "  0.0ns, PAR, 0,1,2,3,0,3,0,0,");

  // 40 samples, 16 values a line: the first line opens without a line end,
  // each next one with its first value's time. Below 1, one value a line.
  std::vector<uint32_t> words(40);
  for (uint32_t k = 0; k < 40; ++k) words[k] = k * 5;
  Use(words, 0);
  ASSERT_EQ(Decode(0x00FF, 0, TQLA_EDGE_FALLING, TQLA_FORMAT_HEX, 16, TQLA_DELIMITER_COMMA, 0, nullptr, 0, 40), 1);
  std::string expected;
  for (uint32_t k = 0; k < 40; ++k) {
    if (k % 16 == 0) expected += std::string(k ? "\n" : "") + decoders::FormatTimestamp(k, 24000000) + " PAR, ";
    expected += Hex(k * 5, 2) + ",";
  }
  EXPECT_EQ(Read("records.txt"), expected);
  ASSERT_EQ(Decode(0x00FF, 0, TQLA_EDGE_FALLING, TQLA_FORMAT_DECIMAL, 0, TQLA_DELIMITER_COMMA, 0, nullptr, 3, 6), 1);
  EXPECT_EQ(Bodies(), (Texts{"15,", "20,", "25,"}));

  // A clock on channel 15: a value at each chosen edge, none at the first
  // sample of the range (it is high there after being low before it), none
  // for an edge argument other than 0 or 1.
  const uint32_t clock = 1u << 15;
  Use({0x11, 0x22 | clock, 0x33, 0x44 | clock, 0x55 | clock, 0x66, 0x77}, 0);
  ASSERT_EQ(Decode(0x00FF, 1, TQLA_EDGE_RISING, TQLA_FORMAT_HEX, 16), 1);
  EXPECT_EQ(Bodies(), (Texts{"22,44,"}));
  ASSERT_EQ(Decode(0x00FF, 1, TQLA_EDGE_FALLING, TQLA_FORMAT_HEX, 16), 1);
  EXPECT_EQ(Bodies(), (Texts{"33,66,"}));
  ASSERT_EQ(Decode(0x00FF, 1, TQLA_EDGE_RISING, TQLA_FORMAT_HEX, 16, TQLA_DELIMITER_COMMA, 15, nullptr, 1), 1);
  EXPECT_EQ(Bodies(), (Texts{"44,"}));
  const char* clockToEnd = "[PROTOCOL]\nNAME = E\n[START]\nTYPE = SIGNAL\nSIGNAL = 15\nLEVEL = 1\n[END]\nTYPE = EVENT\n"
                           "EVENT = 127\n[FIELDS]\nFIELDS X.N.H\n[DEBUG]\nDEBUGON\n";
  Use({0x11, 0x22 | clock, 0x33 | clock}, clock);
  ASSERT_EQ(Decode(0x00FF, 1, 2, TQLA_FORMAT_HEX, 16, TQLA_DELIMITER_COMMA, 15, protocol(clockToEnd)), 1);
  EXPECT_EQ(Read("records.txt"), "");
  EXPECT_NE(Read("packets.txt").find("Packet Debug, ,EVENT,F1,EVENT,7F,"), std::string::npos) << Read("packets.txt");
}

TEST_F(ParallelTest, ValuesReachThePacketEngineAfterTheirText) {
  // A 12-bit value goes as its bits 11..8 (4 bits), then 7..0; each carries
  // the offset after its own text ("  0.0ns, PAR, " is 14 characters).
  Use({0xABC, 0x123, 0x123}, 0);
  const char* pairs = "[PROTOCOL]\nNAME = W\n[START]\nTYPE = NEXT\n[END]\nTYPE = LENGTH\nBITLENGTH = 12\n"
                      "[FIELDS]\nFIELDS X.N.H\n[DEBUG]\nDEBUGON\n";
  ASSERT_EQ(Decode(0x0FFF, 0, TQLA_EDGE_FALLING, TQLA_FORMAT_HEX, 16, TQLA_DELIMITER_COMMA, 15, protocol(pairs), 0, 3),
            1);
  EXPECT_EQ(Read("records.txt"), "  0.0ns, PAR, ABC,123,123,");
  const std::string packets = Read("packets.txt");
  EXPECT_NE(packets.find("Packet Debug, ,DATA,0A,DATA,BC,"), std::string::npos) << packets;
  EXPECT_NE(packets.find("W,0,X,ABC,EoP, ,18,18\n"), std::string::npos) << packets;
  EXPECT_NE(packets.find("W,1,X,123,EoP, ,22,22\n"), std::string::npos) << packets;
}

TEST_F(ParallelTest, BusesDecodeToTheValuesSent) {
  std::mt19937 random(21);
  for (double rate : {24e6, 8e6, 1e6}) {
    const int32_t code = static_cast<int32_t>(TQLA_RATE_CODE(rate / 1e6));
    // An 8-bit bus on channels 2-9 with a strobe on channel 1, idle high:
    // data is set up, then the strobe falls and the data holds past its rise.
    Lines strobed(1u << 1);
    std::vector<uint32_t> sent;
    double t = 10e-6;
    for (int k = 0; k < 40; ++k) {
      sent.push_back(random() & 0xFF);
      DriveBus(strobed, t, 0x3FC, sent.back());
      strobed.At(t + 2e-6, 1, false);
      strobed.At(t + 4e-6, 1, true);
      t += (k % 5 == 4 ? 30e-6 : 6e-6);
    }
    Use(strobed.Render(rate, 1e-5), 1u << 1);
    std::string records = SameInBothWalkModes(*this, [&] {
      return Decode(0x3FC, 1, TQLA_EDGE_FALLING, TQLA_FORMAT_HEX, 8, TQLA_DELIMITER_COMMA, 1,
                    protocol(kSignalProtocols), 0, -1, code);
    });
    Texts decoded, expected;
    for (const RecordLine& line : RecordLines(records, "PAR")) {
      const Texts values = Split(line.body, ',');
      decoded.insert(decoded.end(), values.begin(), values.end());
    }
    for (uint32_t value : sent) expected.push_back(Hex(value, 2));
    EXPECT_EQ(decoded, expected) << "strobed at " << rate;

    // A nibble bus on channels 12-15 clocked by channel 1 rising, decimal.
    Lines nibbles(0);
    sent.clear();
    t = 10e-6;
    for (int k = 0; k < 64; ++k) {
      sent.push_back(random() & 0xF);
      DriveBus(nibbles, t, 0xF000, sent.back());
      nibbles.At(t + 2e-6, 1, true);
      nibbles.At(t + 4e-6, 1, false);
      t += 5e-6;
    }
    Use(nibbles.Render(rate, 1e-5), 0);
    records = SameInBothWalkModes(*this, [&] {
      return Decode(0xF000, 1, TQLA_EDGE_RISING, TQLA_FORMAT_DECIMAL, 64, TQLA_DELIMITER_BLANK, 1,
                    protocol(kSignalProtocols), 0, -1, code);
    });
    std::string line;
    for (uint32_t value : sent) line += std::to_string(value) + " ";
    EXPECT_EQ(Bodies(), (Texts{line})) << "nibbles at " << rate;
  }

  // An unclocked 16-bit bus over a short window: a value at every sample,
  // the bus as it was sampled.
  Lines bus(0);
  for (int k = 0; k < 50; ++k) DriveBus(bus, 1e-6 + k * 0.3e-6, 0xFFFF, static_cast<uint32_t>(random()));
  std::vector<uint32_t> words = bus.Render(24e6, 1e-6);
  Use(words, 0);
  const std::string records = SameInBothWalkModes(*this, [&] {
    return Decode(0xFFFF, 0, TQLA_EDGE_FALLING, TQLA_FORMAT_HEX, 32, TQLA_DELIMITER_COMMA, 1,
                  protocol(kSignalProtocols), 100, 300);
  });
  const std::vector<RecordLine> lines = RecordLines(records, "PAR");
  Texts decoded, expected;
  for (const RecordLine& line : lines) {
    const Texts values = Split(line.body, ',');
    EXPECT_EQ(values.size(), &line == &lines.back() ? 200u % 32 : 32u);
    decoded.insert(decoded.end(), values.begin(), values.end());
  }
  for (int k = 100; k < 300; ++k) expected.push_back(Hex(words[k] & 0xFFFF, 4));
  EXPECT_EQ(decoded, expected);
}

TEST_F(ParallelTest, BadInput) {
  Use({1, 2, 3, 4}, 0);
  const struct {
    uint32_t mask, useClock, clock;
    const char* error;
  } refused[] = {{0, 0, 0, "Empty channel mask"},
                 {0x10000, 0, 0, "Channel mask 10000 names channels past 15"},
                 {0x00FF, 1, 3, "Clock channel 3 is on the bus"}};
  for (const auto& c : refused) {
    std::remove(reinterpret_cast<char*>(out()));
    EXPECT_EQ(Decode(c.mask, c.useClock, TQLA_EDGE_RISING, TQLA_FORMAT_HEX, 8, TQLA_DELIMITER_COMMA, c.clock), 0);
    EXPECT_STREQ(error_, c.error);
    EXPECT_FALSE(std::filesystem::exists(outPath_));
  }
  // Without the clock its channel may be on the bus; a reversed range is
  // put in order, an end past the buffer clamped, an empty buffer gives none.
  ASSERT_EQ(DecodeParallel(samples_.data(), out(), 1000, -4, TQLA_RATE_24MHZ, 0x00FF, 3, 0, TQLA_EDGE_RISING,
                           TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 8, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(Bodies(), (Texts{"02,03,04,00,00,"}));
  SetCurrentBuffer(samples_.data(), 0, 0);
  ASSERT_EQ(Decode(0x00FF, 0, TQLA_EDGE_RISING, TQLA_FORMAT_HEX, 8), 1);
  EXPECT_EQ(Read("records.txt"), "");
  EXPECT_EQ(DecodeParallel(nullptr, out(), 0, 4, TQLA_RATE_24MHZ, 0xFF, 8, 0, TQLA_EDGE_RISING, TQLA_DELIMITER_COMMA,
                           TQLA_FORMAT_HEX, 8, nullptr, nullptr, error_),
            0);
  EXPECT_STREQ(error_, "No sample words to decode");
}

}  // namespace
}  // namespace tqla::test
