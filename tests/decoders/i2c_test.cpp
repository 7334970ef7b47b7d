// DecodeI2C: record layouts, events, and synthesized traffic decoded back.
#include <random>

#include "decoders_fixture.h"
#include "waveforms.h"

namespace tqla::test {
namespace {

constexpr int kSda = 0;
constexpr int kScl = 1;

struct Transfer {
  std::vector<uint8_t> bytes;  // the address byte first
  bool nackLast;
  bool repeatedStart;          // START again instead of STOP afterwards
};

class I2cTest : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("I2C"));
  }
  // Synthesizes transfers and makes them the buffer; returns the record
  // body each transfer should give with markers, acknowledges, hexadecimal.
  std::string Synthesize(const std::vector<Transfer>& transfers, double clock, double rate) {
    Lines lines(3);
    I2cMaster bus{lines, kSda, kScl, 1 / (4 * clock)};
    std::string expected;
    bool open = false;
    for (const Transfer& t : transfers) {
      bus.Start();
      expected += "[S] ";
      for (size_t k = 0; k < t.bytes.size(); ++k) {
        const bool ack = !(t.nackLast && k + 1 == t.bytes.size());
        bus.Byte(t.bytes[k], ack);
        char text[8];
        std::snprintf(text, sizeof text, "%02X,", t.bytes[k]);
        expected += text;
        if (k == 0) expected += (t.bytes[0] & 1) ? "Read " : "Write ";
        expected += ack ? "ACK " : "NACK ";
      }
      open = t.repeatedStart;
      if (!open) {
        bus.Stop();
        expected += "[P]\n";
      }
    }
    if (open) bus.Stop(), expected += "[P]\n";
    Use(lines.Render(rate, 2e-5), 3);
    return expected;
  }
  int32_t Decode(int32_t rate, int32_t ack, int32_t delimiter, int32_t markers, int32_t hex, char* protocolFile) {
    return DecodeI2C(samples_.data(), out(), 0, length(), rate, kSda, kScl, ack, delimiter, markers, hex, protocolFile,
                     packets(), error_);
  }
};

TEST_F(I2cTest, WriteRepeatedStartReadAndLayouts) {
  Synthesize({{{0xA0, 0x12, 0x34}, false, false}}, 100e3, 24e6);
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, nullptr), 1);
  EXPECT_EQ(Read("records.txt"), " 15.0us, I2C, [S] A0,Write ACK 12,ACK 34,ACK [P]\n");
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 0, TQLA_DELIMITER_BLANK, 1, TQLA_FORMAT_HEX, nullptr),
            1);  // acknowledges off, blank variant
  EXPECT_EQ(Read("records.txt"), " 15.0us, I2C, [S] A0 Write 12 34 [P]\n");

  Synthesize({{{0xA0, 0x12}, false, true}, {{0xA1, 0x56}, true, false}}, 100e3, 24e6);
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, nullptr), 1);
  EXPECT_EQ(Read("records.txt"), " 15.0us, I2C, [S] A0,Write ACK 12,ACK [S] A1,Read ACK 56,NACK [P]\n");

  // Without markers nothing ends a line; decimal has three digits.
  Synthesize({{{0xA0, 0x12}, false, false}, {{0xA0, 0x05}, false, false}}, 100e3, 24e6);
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 1, TQLA_DELIMITER_COMMA, 0, TQLA_FORMAT_DECIMAL, nullptr), 1);
  const std::string text = Read("records.txt");
  EXPECT_EQ(text.rfind(" 15.0us, I2C, 160,018,", 0), 0u) << text;
  EXPECT_NE(text.find("us, I2C, 160,005,"), std::string::npos) << text;
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST_F(I2cTest, EventsReachThePacketEngine) {
  Synthesize({{{0xA0, 0x12}, false, false}, {{0xA1, 0x56}, true, false}}, 100e3, 24e6);
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX,
                   protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP))),
            1);
  // START after the header (offset 14), STOP before its "[P]\n"; the second
  // transfer starts past the first record's line end, counted as CR LF.
  const std::string packets = Read("packets.txt");
  EXPECT_NE(packets.find("P,360,X,A012,EoP, ,14,38\nPacket Debug"), std::string::npos) << packets;
  EXPECT_NE(packets.find("Packet Debug, ,EVENT,01,DATA,A0,EVENT,04,DATA,12,EVENT,04,EVENT,02,EoP, ,1,10\n"),
            std::string::npos)
      << packets;
  EXPECT_NE(packets.find("P,5581,X,A156,EoP, ,57,81\n"), std::string::npos) << packets;
  EXPECT_NE(packets.find("EVENT,01,DATA,A1,EVENT,04,DATA,56,EVENT,08,EVENT,02,"), std::string::npos) << packets;
}

// A host's event sink gets what the packet engine gets, with or without a
// protocol file, at samples in time order.
TEST_F(I2cTest, EventSinkSeesTheEventsWithoutAProtocolFile) {
  Synthesize({{{0xA0, 0x12}, false, false}, {{0xA1, 0x56}, true, false}}, 100e3, 24e6);
  struct Event {
    uint32_t sample;
    int32_t kind;
    uint32_t value;
    int32_t bits;
  };
  std::vector<Event> events;
  TqlaSetEventSink(
      [](uint32_t sample, int32_t kind, uint32_t value, int32_t bits, int32_t, void* user) {
        static_cast<std::vector<Event>*>(user)->push_back({sample, kind, value, bits});
      },
      &events);
  const int32_t decoded = Decode(247, 1, 1, 1, 1, nullptr);
  TqlaSetEventSink(nullptr, nullptr);
  ASSERT_EQ(decoded, 1);
  std::string listed;
  for (const Event& e : events) {
    char text[16];
    std::snprintf(text, sizeof text, e.kind ? "E%02X " : "D%02X/%d ", e.value, e.bits);
    listed += text;
  }
  EXPECT_EQ(listed, "E01 DA0/8 E04 D12/8 E04 E02 E01 DA1/8 E04 D56/8 E08 E02 E7F ");
  for (size_t k = 1; k < events.size(); ++k) EXPECT_LE(events[k - 1].sample, events[k].sample) << k;
  // Unset, it hears nothing more.
  events.clear();
  ASSERT_EQ(Decode(247, 1, 1, 1, 1, nullptr), 1);
  EXPECT_TRUE(events.empty());
}

TEST_F(I2cTest, SynthesizedTrafficDecodesToTheBytesSent) {
  std::mt19937 random(6);
  for (double clock : {100e3, 400e3}) {
    for (double rate : {24e6, 12e6, 4e6}) {
      std::vector<Transfer> transfers;
      for (int n = 0; n < 12; ++n) {
        Transfer t{{static_cast<uint8_t>(random())}, random() % 3 == 0, random() % 4 == 0};
        for (int k = random() % 5; k > 0; --k) t.bytes.push_back(static_cast<uint8_t>(random()));
        transfers.push_back(t);
      }
      const std::string expected = Synthesize(transfers, clock, rate);
      const int32_t code = static_cast<int32_t>(TQLA_RATE_CODE(rate / 1e6));
      const std::string records = SameInBothWalkModes(
          *this, [&] { return Decode(code, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, protocol(kSignalProtocols)); });
      std::string body;
      for (size_t at = 0; (at = records.find(", I2C, ", at)) != std::string::npos;) {
        at += 7;
        const size_t next = records.find(", I2C, ", at);
        const size_t stop = next == std::string::npos ? records.size() : records.rfind('\n', next) + 1;
        body += records.substr(at, stop - at);
      }
      EXPECT_EQ(body, expected) << clock << " Hz at " << rate;
    }
  }
}

}  // namespace
}  // namespace tqla::test
