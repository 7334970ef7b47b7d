// Decode1Wire: pulse thresholds, the slot sample point, record lines, events,
// and synthesized ROM and scratchpad traffic decoded back.
#include <tuple>

#include "decoders_fixture.h"
#include "stream_waveforms.h"

namespace tqla::test {
namespace {

constexpr int kLine = 1;
constexpr uint32_t kHigh = 1u << kLine;

// Line levels by sample index at 24 MHz: high for a lead-in, then low and
// high stretches; remembers where each low stretch ends.
struct Pulses {
  std::vector<uint32_t> words = std::vector<uint32_t>(100, kHigh);
  std::vector<uint32_t> rises;
  void Pulse(uint32_t low, uint32_t high) {
    words.insert(words.end(), low, 0);
    rises.push_back(static_cast<uint32_t>(words.size()));
    words.insert(words.end(), high, kHigh);
  }
  void Reset() { Pulse(11600, 600), Pulse(2000, 2000); }
  void Byte(uint8_t value) {
    for (int k = 0; k < 8; ++k) (value >> k) & 1 ? Pulse(100, 1400) : Pulse(1400, 100);
  }
};

// The header of a record line whose first sample is sample.
std::string Header(uint32_t sample) {
  std::string text = "\n";
  text += decoders::FormatTimestamp(sample, 24000000);
  return text + " 1W, ";
}

const char* kThreeBytes = "[PROTOCOL]\nNAME = B\n[START]\nTYPE = NEXT\n[END]\nTYPE = LENGTH\nBYTELENGTH = 3\n"
                          "[FIELDS]\nFIELDS X.N.H\n[DEBUG]\nDEBUGON\n";

class OneWireTest : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("1W"));
  }
  int32_t Decode(int32_t labels, int32_t hex = TQLA_FORMAT_HEX, int32_t delimiter = TQLA_DELIMITER_COMMA,
                 int32_t rate = TQLA_RATE_24MHZ, char* protocolFile = nullptr) {
    return Decode1Wire(samples_.data(), out(), 0, length(), rate, kLine, delimiter, labels, hex, protocolFile,
                       packets(), error_);
  }
};

TEST_F(OneWireTest, ResetThresholdAndRecordLines) {
  // 11522 low samples time to 11521, not above the threshold; 11523 do.
  for (uint32_t low : {11522u, 11523u}) {
    Pulses p;
    p.Pulse(low, 100);
    Use(p.words, kHigh);
    ASSERT_EQ(Decode(1), 1);
    EXPECT_EQ(Read("records.txt"), low == 11522 ? "" : Header(p.rises[0]) + "Reset Pulse ");
  }

  Pulses p;
  p.Reset();
  p.Byte(0xCC);
  Use(p.words, kHigh);
  const std::string reset = Header(p.rises[0]) + "Reset Pulse ", presence = Header(p.rises[1]);
  const struct {
    int32_t labels, hex, delimiter;
    std::string text;
  } cases[] = {
      {1, 1, 1, reset + presence + "Presence Pulse CC,"},
      {0, 1, 1, presence + "CC,"},
      {0, 0, 2, presence + "204 "},
      {1, 0, 0, reset + presence + "Presence Pulse 204,"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Decode(c.labels, c.hex, c.delimiter), 1);
    EXPECT_EQ(Read("records.txt"), c.text) << c.labels << c.hex << c.delimiter;
  }
}

TEST_F(OneWireTest, SlotSamplePointAndReturnToIdle) {
  // A slot is read 360 samples after its fall: low for 360 samples (the
  // line is high again in the sample read) reads 1, for 361 reads 0. LSB
  // first, 1,0,1,0,0,0,0,0 is 0x05.
  Pulses p;
  p.Reset();
  for (uint32_t low : {360, 361, 360, 361, 361, 361, 361, 361}) p.Pulse(low, 1500 - low);
  // A slot held low past 80 us (1921 samples) puts the bus back to idle and
  // drops the bits so far; the slots that follow are not read.
  p.Pulse(100, 1400), p.Pulse(100, 1400), p.Pulse(1922, 100);
  p.Byte(0xFF);
  p.Reset();
  p.Byte(0xA5);
  // A slot's low time counts from its fall: held for 11523 samples it is the
  // next reset, and the bit before it is dropped.
  p.Pulse(100, 1400), p.Pulse(11523, 600), p.Pulse(2000, 2000);
  p.Byte(0x3C);
  Use(p.words, kHigh);
  ASSERT_EQ(Decode(1, TQLA_FORMAT_HEX, TQLA_DELIMITER_COMMA, TQLA_RATE_24MHZ,
                   protocol(EventProtocol(TQLA_EVENT_STOP, TQLA_EVENT_START))),
            1);
  const auto& r = p.rises;
  std::string expected;
  for (const auto& [reset, presence, byte] : {std::tuple{0, 1, "05,"}, {21, 22, "A5,"}, {32, 33, "3C,"}}) {
    expected += Header(r[reset]) + "Reset Pulse " + Header(r[presence]) + "Presence Pulse " + byte;
  }
  EXPECT_EQ(Read("records.txt"), expected);
  // Presence to reset, with the bytes between. Each event carries the offset
  // of the record text written so far (CR LF counted as two): the presence
  // comes before its header, the next reset after the byte.
  const std::string packets = Read("packets.txt");
  EXPECT_NE(packets.find("Packet Debug, ,EVENT,02,DATA,05,EVENT,01,EoP"), std::string::npos) << packets;
  EXPECT_NE(packets.find("Packet Debug, ,EVENT,02,DATA,A5,EVENT,01,EoP"), std::string::npos) << packets;
  EXPECT_NE(packets.find("Packet Debug, ,EVENT,02,DATA,3C,EVENT,7F,EoP"), std::string::npos) << packets;
  EXPECT_NE(packets.find("P," + std::to_string(r[1]) + ",X,05,EoP, ,27,60\n"), std::string::npos) << packets;
}

TEST_F(OneWireTest, RomAndScratchpadTrafficDecodesToTheBytesSent) {
  std::mt19937 random(1);
  for (double rate : {1e6, 4e6, 24e6}) {
    Lines lines(kHigh);
    OneWireBus bus{lines, kLine, random};
    std::vector<std::pair<double, std::string>> expected;
    auto reset = [&] {
      const auto [resetEnd, presenceEnd] = bus.Reset();
      expected.push_back({resetEnd, "Reset Pulse "});
      expected.push_back({presenceEnd, "Presence Pulse "});
    };
    auto byte = [&](uint8_t value, bool fromDevice) {
      fromDevice ? bus.Read(value) : bus.Write(value);
      expected.back().second += Hex(value, 2) + ",";
    };
    reset();
    byte(0x33, false);  // read ROM: family, serial number, CRC
    for (int k = 0; k < 8; ++k) byte(static_cast<uint8_t>(random()), true);
    reset();
    byte(0xCC, false);  // skip ROM, read scratchpad
    byte(0xBE, false);
    for (int k = 0; k < 9; ++k) byte(static_cast<uint8_t>(random()), true);
    Use(lines.Render(rate, 1e-3), kHigh);
    const int32_t code = static_cast<int32_t>(TQLA_RATE_CODE(rate / 1e6));
    const std::string records = SameInBothWalkModes(
        *this, [&] { return Decode(1, TQLA_FORMAT_HEX, TQLA_DELIMITER_COMMA, code, protocol(kSignalProtocols)); });
    const std::vector<RecordLine> lines_ = RecordLines(records, "1W");
    ASSERT_EQ(lines_.size(), expected.size()) << records;
    // Packets of three of the 20 bytes point at their first and last value.
    ASSERT_EQ(Decode(1, TQLA_FORMAT_HEX, TQLA_DELIMITER_COMMA, code, protocol(kThreeBytes)), 1);
    EXPECT_EQ(ExpectPacketOffsetsInRecords(*this), 6);
    for (size_t k = 0; k < expected.size(); ++k) {
      EXPECT_EQ(lines_[k].body, expected[k].second) << rate;
      // Each header is the sample where the pulse ends.
      EXPECT_NEAR(lines_[k].seconds, expected[k].first, 1.0 / rate + 0.05e-6) << rate;
    }
  }
}

TEST_F(OneWireTest, BadInput) {
  Pulses p;
  p.Reset();
  p.Byte(0x42);
  Use(p.words, kHigh);
  ASSERT_EQ(Decode1Wire(samples_.data(), out(), length(), 0, TQLA_RATE_24MHZ, kLine, TQLA_DELIMITER_COMMA, 1,
                        TQLA_FORMAT_HEX, nullptr, nullptr, error_),
            1);
  const std::string whole = Read("records.txt");
  EXPECT_NE(whole.find("Presence Pulse 42,"), std::string::npos);
  // Channels past the sample word never read high: nothing is found.
  ASSERT_EQ(Decode1Wire(samples_.data(), out(), 0, length(), TQLA_RATE_24MHZ, 99, TQLA_DELIMITER_COMMA, 1,
                        TQLA_FORMAT_HEX, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(Read("records.txt"), "");
  EXPECT_EQ(Decode1Wire(nullptr, out(), 0, 10, TQLA_RATE_24MHZ, kLine, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX,
                        nullptr, nullptr, error_),
            0);
  EXPECT_STREQ(error_, "No sample words to decode");
  EXPECT_EQ(Decode1Wire(samples_.data(), out(), 0, 10, 250, kLine, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, nullptr,
                        nullptr, error_),
            0);
  EXPECT_STREQ(error_, "Unknown sample rate code 250");
}

}  // namespace
}  // namespace tqla::test
