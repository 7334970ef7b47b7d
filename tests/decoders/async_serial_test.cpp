// DecodeASYNC: bit positions, record lines, parity, and two synthesized UART
// lines decoded back.
#include <map>
#include <random>

#include "decoders_fixture.h"
#include "waveforms.h"

namespace tqla::test {
namespace {

class AsyncTest : public DecodersTest {
 public:
  int32_t Decode(uint32_t mask, uint32_t baud, uint32_t parity, uint32_t bits, uint32_t delimiter, uint32_t hex,
                 uint32_t character, int32_t perLine, char* protocolFile = nullptr, int32_t rate = TQLA_RATE_24MHZ) {
    return DecodeASYNC(samples_.data(), out(), 0, length(), rate, mask, baud, parity, bits, delimiter, hex, character,
                       perLine, protocolFile, packets(), error_);
  }
};

// 9600 baud at 24 MHz: 2500 samples per bit. A line high before sample 100,
// low from the start edge on, high only where a test puts it.
std::vector<uint32_t> Frame(std::initializer_list<uint32_t> highAt, uint32_t length = 60000) {
  std::vector<uint32_t> words(length, 0);
  for (uint32_t k = 0; k < 100; ++k) words[k] = 1;
  for (uint32_t k : highAt) words[k] = 1;
  return words;
}

TEST_F(AsyncTest, BitPositionsFromTheStartEdge) {
  // Only the middle of data bit 0 (3750 after the edge) is high: value 1.
  // A fall at 23749 after the edge is too early for a start bit, one at
  // 23750 is not.
  for (uint32_t secondEdge : {23749u, 23750u}) {
    std::vector<uint32_t> words = Frame({100 + 3750});
    for (uint32_t k = 100 + 22000; k < 100 + secondEdge; ++k) words[k] = 1;
    Use(words, 0);
    ASSERT_EQ(Decode(1, 9600, TQLA_PARITY_NONE, 8, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 8), 1);
    EXPECT_EQ(Read("records.txt"), secondEdge == 23749 ? "\n  4.2us, , CH0,01," : "\n  4.2us, , CH0,01,00,");
  }
}

TEST_F(AsyncTest, LinesFormatsAndParity) {
  // Channels 1 and 4 alternate; characters of one channel fill its line.
  Lines lines(0x12);
  double t = 1e-4;
  for (char c : std::string("abcde")) t = SendCharacter(lines, c == 'c' ? 4 : 1, t, 115200, c, 8, false) + 2e-5;
  Use(lines.Render(24e6, 1e-4), 0x12);
  const struct {
    uint32_t delimiter, hex, character;
    int32_t perLine;
    const char* text;
  } cases[] = {{1, 0, 1, 8, "\n+  0.0ns, , CH1 a,b,\n+213.6us, , CH4 c,\n+106.8us, , CH1 d,e,"},
               {1, 1, 0, 1, "\n+  0.0ns, , CH1,61,\n+106.8us, , CH1,62,\n+106.8us, , CH4,63,"
                            "\n+106.8us, , CH1,64,\n+106.8us, , CH1,65,"},
               {0, 0, 0, 0, "\n+  0.0ns, , CH1  97\n+106.8us, , CH1  98\n+106.8us, , CH4  99"
                            "\n+106.8us, , CH1 100\n+106.8us, , CH1 101"},
               {2, 1, 0, 2, "\n+  0.0ns, , CH1 61 62 \n+213.6us, , CH4 63 \n+106.8us, , CH1 64 65 "}};
  for (const auto& c : cases) {
    StartTimestamp(1);
    ASSERT_EQ(Decode(0x12, 115200, TQLA_PARITY_NONE, 8, c.delimiter, c.hex, c.character, c.perLine), 1);
    EXPECT_EQ(Read("records.txt"), c.text) << c.perLine;
  }
  decoderState.TimestampRelative = 0;

  // Even parity: 0x01 with parity bit 1 passes, with 0 sends event 1.
  Lines parity(1);
  t = SendCharacter(parity, 0, 1e-4, 9600, 0x01, 8, true);
  t = SendCharacter(parity, 0, t + 1e-3, 9600, 0x001, 9, false);  // 0x01, parity bit 0
  Use(parity.Render(24e6, 1e-3), 1);
  ASSERT_EQ(Decode(1, 9600, TQLA_PARITY_EVEN, 8, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 8,
                   protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_END_OF_DATA))),
            1);
  EXPECT_EQ(Read("records.txt"), "\n100.0us, , CH0,01,01,");
  EXPECT_NE(Read("packets.txt").find("Packet Debug, ,EVENT,01,DATA,01,EVENT,7F,"), std::string::npos)
      << Read("packets.txt");
}

TEST_F(AsyncTest, LowAtTheStartAndBitsPastTheEnd) {
  std::vector<uint32_t> words = Frame({}, 30000);
  words.erase(words.begin(), words.begin() + 100);  // low from the first sample
  for (uint32_t k = 200; k < 300; ++k) words[k] = 1;  // high once, then a fall at 300
  Use(words, 0);
  ASSERT_EQ(Decode(1, 9600, TQLA_PARITY_NONE, 8, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 8), 1);
  EXPECT_EQ(Read("records.txt"), "\n 12.5us, , CH0,00,");
  // The stop bit of a character starting near the end lies past the words.
  for (size_t k = 200; k < words.size() - 10; ++k) words[k] = 1;
  Use(words, 0);
  ASSERT_EQ(Decode(1, 9600, TQLA_PARITY_NONE, 8, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 8), 1);
  EXPECT_EQ(Read("records.txt"), "");
  // Baud rate 0 reads every bit at the start edge; unsupported framing fails.
  ASSERT_EQ(Decode(1, 0, TQLA_PARITY_NONE, 8, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 8), 1);
  EXPECT_EQ(Read("records.txt"), "\n  1.2454ms, , CH0,00,");
  EXPECT_EQ(Decode(1, 9600, TQLA_PARITY_EVEN, 18, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 8), 0);
  EXPECT_STREQ(error_, "Unsupported character framing");
}

TEST_F(AsyncTest, TwoLinesDecodeToTheCharactersSent) {
  std::mt19937 random(64);
  for (bool sevenEven : {false, true}) {
    for (double baud : {9600.0, 115200.0}) {
      for (double rate : {24e6, 16e6, 4e6}) {
        Lines lines(0x22);
        std::map<int, std::string> sent;
        const int bits = sevenEven ? 7 : 8;
        for (int channel : {1, 5}) {
          double t = channel * 3.3e-5;
          for (int n = 0; n < 20; ++n) {
            const uint32_t value = random() & ((1u << bits) - 1);
            t = SendCharacter(lines, channel, t, baud, value, bits, sevenEven) + (random() % 3) * 1.5 / baud;
            char text[16];
            std::snprintf(text, sizeof text, "%02X,", value);
            sent[channel] += text;
          }
        }
        Use(lines.Render(rate, 2e-3), lines.idle());
        const std::string records = SameInBothWalkModes(*this, [&] {
          return Decode(0x22, static_cast<uint32_t>(baud), sevenEven ? TQLA_PARITY_EVEN : TQLA_PARITY_NONE, bits,
                        TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 1000, protocol(kSignalProtocols),
                        static_cast<int32_t>(TQLA_RATE_CODE(rate / 1e6)));
        });
        std::map<int, std::string> decoded;
        for (size_t at = 0; (at = records.find(", CH", at)) != std::string::npos;) {
          const int channel = records[at + 4] - '0';
          at += 6;
          decoded[channel] += records.substr(at, records.find('\n', at) - at);
        }
        EXPECT_EQ(decoded, sent) << baud << " baud at " << rate << (sevenEven ? " 7E1" : " 8N1");
      }
    }
  }
}

}  // namespace
}  // namespace tqla::test
