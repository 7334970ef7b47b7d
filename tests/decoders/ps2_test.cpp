// DecodePS2: record lines with their bit errors, frames that are not there,
// events and signal conditions, and synthesized keyboard traffic decoded back.
#include <random>
#include <sstream>

#include "decoders_fixture.h"
#include "fieldbus_waveforms.h"

namespace tqla::test {
namespace {

constexpr int kData = 0;
constexpr int kClock = 1;
constexpr uint32_t kIdle = 1u << kData | 1u << kClock;

class Ps2Test : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("PS2"));
  }
  int32_t Decode(uint32_t msbFirst = 0, char* protocolFile = nullptr, int32_t rate = TQLA_RATE_24MHZ, int32_t start = 0,
                 int32_t end = -1) {
    return DecodePS2(samples_.data(), out(), start, end < 0 ? length() : end, rate, kData, kClock, msbFirst,
                     protocolFile, packets(), error_);
  }
  // A keyboard with a 12.5 kHz clock sampled at 24 MHz.
  template <class Traffic>
  void Play(Traffic traffic, double rate = 24e6, double clock = 12.5e3) {
    Lines lines(kIdle);
    Ps2Link link(lines, kData, kClock, clock);
    traffic(link);
    Use(lines.Render(rate, 1e-4), kIdle);
  }
};

TEST_F(Ps2Test, RecordsAndBitErrors) {
  const struct {
    void (*traffic)(Ps2Link&);
    uint32_t msbFirst;
    const char* record;
  } kCases[] = {
      {[](Ps2Link& l) { l.DeviceByte(0x1C); }, 0, " 90.0us, PS2, Device: 1C \n"},
      {[](Ps2Link& l) { l.DeviceByte(0x1C); }, 1, " 90.0us, PS2, Device: 38 \n"},
      {[](Ps2Link& l) { l.DeviceByte(0x1C, false); }, 0, " 90.0us, PS2, Device: 1C , Parity Bit Error = 1\n"},
      {[](Ps2Link& l) { l.DeviceByte(0x1D, false, false); }, 0,
       " 90.0us, PS2, Device: 1D , Parity Bit Error = 0, Stop Bit Error\n"},
      {[](Ps2Link& l) { l.HostCommand(0xFF); }, 0, "190.0us, PS2, Host:   FF \n"},
      {[](Ps2Link& l) { l.HostCommand(0xFF, false); }, 0, "190.0us, PS2, Host:   FF , ACK Bit Error\n"},
  };
  for (const auto& c : kCases) {
    Play(c.traffic);
    ASSERT_EQ(Decode(c.msbFirst), 1);
    EXPECT_EQ(Read("records.txt"), c.record);
  }
  // A host frame whose start bit reads 1: data falls while the clock is
  // held low and rises again before the clock is let go.
  std::vector<uint32_t> words(4000, kIdle);
  for (int k = 100; k < 300; ++k) words[k] = 1u << kData;  // clock low
  words[200] = 0;                                          // data low for one sample
  for (int k = 300, level = 1; k < 3900; k += 50, level ^= 1) {
    for (int j = k; j < k + 50; ++j) words[j] = 1u << kData | (level ? 1u << kClock : 0);
  }
  Use(words, kIdle);
  ASSERT_EQ(Decode(), 1);
  EXPECT_EQ(Read("records.txt"), "  8.3us, PS2, Host:   FF , Start Bit Error, ACK Bit Error\n");
}

TEST_F(Ps2Test, NoFrameWithoutDataAndNoneCutShort) {
  // The host holds the clock low while data stays high: no frame.
  Play([](Ps2Link& l) {
    l.Inhibit(200e-6);
    l.DeviceByte(0x5A);
  });
  ASSERT_EQ(Decode(), 1);
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "PS2"), "Device: 5A \n");
  // Ranges ending inside the byte's frame write nothing for it.
  for (int32_t end : {length() / 2, length() - 4000}) {
    ASSERT_EQ(Decode(0, nullptr, TQLA_RATE_24MHZ, 0, end), 1);
    EXPECT_EQ(Read("records.txt"), "") << end;
  }
}

TEST_F(Ps2Test, EventsAndSignalConditionsWhileSearching) {
  Play([](Ps2Link& l) {
    l.DeviceByte(0x1C);
    l.HostCommand(0xED);
    l.DeviceByte(0xFA);
  });
  // Protocol A starts where the clock falls: only the first fall of each
  // frame (90 us, 970 us, 2090 us) is seen while searching, none inside one.
  // The byte follows on X for the device and on Y for the host.
  ASSERT_EQ(Decode(0, protocol(kSignalProtocols)), 1);
  EXPECT_EQ(Read("packets.txt"), "A,2160,X,1C,EoP, ,0,0\nA,23280,X,,EoP, ,27,27\nA,50161,X,FA,EoP, ,57,57\n");
  ASSERT_EQ(Decode(0, protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP))), 1);
  const std::string packets = Read("packets.txt");
  EXPECT_NE(packets.find("EVENT,01,DATA,1C,EVENT,02,DATA,ED,EVENT,01,DATA,FA,EVENT,7F,"), std::string::npos) << packets;
  EXPECT_NE(packets.find(",X,1CFA,EoP,"), std::string::npos) << "the host's byte is on Y\n" << packets;
  EXPECT_EQ(ExpectPacketOffsetsInRecords(*this), 1);
}

TEST_F(Ps2Test, SynthesizedTrafficDecodesToTheBytesSent) {
  const std::vector<uint8_t> keys = {0x1C, 0xF0, 0x1C, 0x12, 0x32, 0xF0, 0x32, 0xF0, 0x12, 0xE0, 0x74, 0xE0, 0xF0, 0x74};
  for (double clock : {10e3, 12.5e3, 16.7e3}) {
    for (double rate : {1e6, 4e6, 24e6}) {
      std::string expected;
      Play(
          [&](Ps2Link& l) {
            for (uint8_t key : keys) l.DeviceByte(key);  // back to back
            for (uint8_t key : keys) l.DeviceByte(key), l.Inhibit(120e-6);
            l.HostCommand(0xED), l.DeviceByte(0xFA), l.HostCommand(0x02), l.DeviceByte(0xFA);
          },
          rate, clock);
      char line[32];
      for (int pass = 0; pass < 2; ++pass) {
        for (uint8_t key : keys) std::snprintf(line, sizeof line, "Device: %02X \n", key), expected += line;
      }
      expected += "Host:   ED \nDevice: FA \nHost:   02 \nDevice: FA \n";
      const int32_t code = static_cast<int32_t>(TQLA_RATE_CODE(rate / 1e6));
      const std::string records =
          SameInBothWalkModes(*this, [&] { return Decode(0, protocol(kSignalProtocols), code); });
      EXPECT_EQ(WithoutHeaders(records, "PS2"), expected) << clock << " Hz at " << rate;
    }
  }
}

TEST_F(Ps2Test, BadInput) {
  Play([](Ps2Link& l) { l.DeviceByte(0x1C), l.DeviceByte(0xF0), l.DeviceByte(0x1C); });
  ASSERT_EQ(Decode(), 1);
  const std::string whole = Read("records.txt");
  ASSERT_EQ(Decode(0, nullptr, TQLA_RATE_24MHZ, length(), 0), 1);
  EXPECT_EQ(Read("records.txt"), whole) << "a reversed range reads the same";
  ASSERT_EQ(Decode(0, nullptr, TQLA_RATE_24MHZ, length() + 2, length() + 50), 1);
  EXPECT_EQ(Read("records.txt"), "") << "a range past the buffer";
  EXPECT_EQ(DecodePS2(nullptr, out(), 0, 10, TQLA_RATE_24MHZ, kData, kClock, 0, nullptr, nullptr, error_), 0);
  EXPECT_STREQ(error_, "No sample words to decode");
  EXPECT_EQ(Decode(0, nullptr, 250), 0);
  EXPECT_STREQ(error_, "Unknown sample rate code 250");

  // A clock stuck low shows nothing; toggles every few samples on both lines
  // end in whole record lines, never a crash or a hang.
  Use(std::vector<uint32_t>(10000, 0), 0);
  ASSERT_EQ(Decode(), 1);
  EXPECT_EQ(Read("records.txt"), "");
  std::mt19937 random(5);
  std::vector<uint32_t> noise(300000);
  uint32_t level = kIdle;
  for (uint32_t& word : noise) word = random() % 4 ? level : (level ^= 1u << (random() % 2));
  Use(noise, kIdle);
  ASSERT_EQ(Decode(0, protocol(kSignalProtocols)), 1);
  std::istringstream lines(Read("records.txt"));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    size_t at = line.find(", PS2, ");
    ASSERT_NE(at, std::string::npos) << line;
    at += 7;
    EXPECT_TRUE(line.compare(at, 8, "Host:   ") == 0 || line.compare(at, 8, "Device: ") == 0) << line;
    EXPECT_TRUE(line.size() >= at + 11 && std::isxdigit(line[at + 8]) && std::isxdigit(line[at + 9]) &&
                line[at + 10] == ' ')
        << line;
    std::string errors = line.size() >= at + 11 ? line.substr(at + 11) : "";
    for (const char* error : {", Start Bit Error", ", Parity Bit Error = 1", ", Parity Bit Error = 0",
                              ", Stop Bit Error", ", ACK Bit Error"}) {
      if (errors.starts_with(error)) errors.erase(0, std::strlen(error));
    }
    EXPECT_EQ(errors, "") << line;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace tqla::test
