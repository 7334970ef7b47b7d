// DecodeCAN: record layouts, the identifier filter, error and overload
// flags, the bits sent to the packet engine, and synthesized bus traffic
// decoded back at several bit and sample rates.
#include <random>
#include <sstream>

#include "decoders_fixture.h"
#include "fieldbus_waveforms.h"

namespace tqla::test {
namespace {

constexpr int kLine = 1;

// What the decoder reads from a frame on the bus: the bits sent before
// stuffing, the acknowledged tail, then the idle bus. The fields are taken
// at their places in that stream, also where the data length asks for bytes
// the frame does not carry.
std::string Expected(const CanFrame& f, bool labels) {
  std::vector<int> bits = CanBits(f);
  bits.insert(bits.end(), {1, 0, 1});
  size_t at = 1;
  auto field = [&](int width) {
    uint32_t v = 0;
    for (int k = 0; k < width; ++k, ++at) v = v << 1 | (at < bits.size() ? bits[at] : 1);
    return v;
  };
  uint32_t id = field(11);
  if (f.extended) at += 2, id = id << 18 | field(18);
  const uint32_t rtr = field(1), control = field(6);
  char text[200];
  int n = std::snprintf(text, sizeof text, f.extended ? "%s%08X,%s%u,%s%02X," : "%s%03X,%s%u,%s%02X,",
                        labels ? (f.extended ? "29-bitID:" : "11-bitID:") : "", id, labels ? "RTR:" : "", rtr,
                        labels ? "Control:" : "", control);
  if (control & 15) {
    n += std::snprintf(text + n, sizeof text - n, "%s", labels ? "Data:" : "");
    for (uint32_t k = 0; k < (control & 15); ++k) {
      const uint32_t byte = field(8);
      if (k < 8) n += std::snprintf(text + n, sizeof text - n, "%02X,", byte);
    }
    for (uint32_t k = control & 15; k < 8; ++k) n += std::snprintf(text + n, sizeof text - n, ",");
  }
  const uint32_t crc = field(15);
  field(1);
  std::snprintf(text + n, sizeof text - n, labels ? "CRC:%04X,ACK:%u\n" : "%04X,%u\n", crc, field(1));
  return text;
}

class CanTest : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("CAN"));
  }
  int32_t Decode(uint32_t rate, uint32_t bitRate, int32_t labels, char* protocolFile = nullptr, uint32_t highest = ~0u,
                 uint32_t lowest = 0) {
    return DecodeCAN(samples_.data(), out(), 0, length(), rate, kLine, bitRate, highest, lowest, 0, labels, 0,
                     protocolFile, packets(), error_);
  }
  // Frames at 500 kbit/s sampled at 24 MHz, the first SOF at 20 us.
  CanTransmitter Bus(Lines& lines) { return CanTransmitter(lines, kLine, 500e3, 24e6, 1); }
};

TEST_F(CanTest, RecordLayouts) {
  const CanFrame standard{0x123, false, false, 2, {0x11, 0x22}};
  const CanFrame empty{0x123, false, false, 0, {}};
  const CanFrame extended{0x1ABCDEF, true, false, 1, {0x5A}};
  for (const CanFrame& f : {standard, empty, extended}) {
    Lines lines(1u << kLine);
    CanTransmitter bus = Bus(lines);
    bus.Frame(f);
    Use(lines.Render(24e6, 1e-5), lines.idle());
    for (int32_t labels : {1, 0}) {
      ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 500000, labels), 1) << error_;
      EXPECT_EQ(Read("records.txt"), " 20.0us, CAN, " + Expected(f, labels != 0));
    }
  }
  // The description's own example, field by field.
  EXPECT_EQ(Expected(standard, true).substr(0, 43), "11-bitID:123,RTR:0,Control:02,Data:11,22,,,");
  EXPECT_EQ(Expected(empty, true).find("Data"), std::string::npos);
  EXPECT_EQ(Expected(extended, false).substr(0, 9), "01ABCDEF,");
}

TEST_F(CanTest, FilterKeepsTheEventsAndBitsAreDestuffed) {
  const CanFrame frames[] = {{0x100, false, false, 1, {0xFF}}, {0x123, false, false, 1, {0x00}},
                             {0x200, false, false, 0, {}}};
  Lines lines(1u << kLine);
  CanTransmitter bus = Bus(lines);
  for (const CanFrame& f : frames) bus.Frame(f);
  Use(lines.Render(24e6, 1e-5), lines.idle());
  ASSERT_EQ(
      Decode(TQLA_RATE_24MHZ, 500000, 1, protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP)), 0x150, 0x110), 1);
  const std::string records = Read("records.txt");
  EXPECT_EQ(WithoutHeaders(records, "CAN"), Expected(frames[1], true)) << records;

  // Each frame, shown or not, goes out as its start, its bits without the
  // stuff bits (0x100 with 0xFF has several), and its end.
  const std::string packets = Read("packets.txt");
  size_t at = 0;
  for (const CanFrame& f : frames) {
    std::vector<int> bits = CanBits(f);
    bits.insert(bits.end(), {1, 0, 1, 1, 1, 1, 1, 1, 1, 1});
    std::string debug = "Packet Debug, ,EVENT,01,";
    for (int bit : bits) debug += bit ? "DATA,01," : "DATA,00,";
    debug += "EVENT,02,";
    at = packets.find(debug, at);
    EXPECT_NE(at, std::string::npos) << std::hex << f.id << "\n" << packets;
  }
}

TEST_F(CanTest, ErrorAndOverloadFlags) {
  Lines lines(1u << kLine);
  CanTransmitter bus = Bus(lines);
  bus.ErrorAfter({0x555, false, false, 0, {}}, 6);  // recessive bits seen, then the flag
  bus.Dominant(14);                                  // dominant from the idle bus
  bus.Frame({0x321, false, false, 0, {}});
  Use(lines.Render(24e6, 1e-5), lines.idle());
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 500000, 1, protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP))), 1);
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "CAN"),
            "[Error]\n[Overload]\n" + Expected({0x321, false, false, 0, {}}, true));
  const std::string packets = Read("packets.txt");
  EXPECT_NE(packets.find("\nP,"), std::string::npos) << packets;
  EXPECT_EQ(packets.find("\nP,"), packets.rfind("\nP,")) << "one packet, for the frame only\n" << packets;
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 500000, 0), 1);
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "CAN"), Expected({0x321, false, false, 0, {}}, false));
}

TEST_F(CanTest, SynthesizedTrafficDecodesToTheFramesSent) {
  std::mt19937 random(10);
  CanStuffing stuffing;
  const struct {
    double bitRate, rate;
  } kCases[] = {{125e3, 2e6}, {125e3, 24e6}, {500e3, 6e6}, {500e3, 24e6}, {1e6, 12e6}, {1e6, 24e6}};
  for (const auto& c : kCases) {
    Lines lines(1u << kLine);
    CanTransmitter bus(lines, kLine, c.bitRate, c.rate, static_cast<uint32_t>(random()));
    bus.Jitter(true);
    std::string expected;
    for (int n = 0; n < 24; ++n) {
      CanFrame f;
      f.extended = n % 3 == 1;
      f.id = n == 0 ? 0 : n == 1 ? 0x1FFFFFFF : random() & (f.extended ? 0x1FFFFFFF : 0x7FF);
      f.remote = n % 5 == 4;
      f.dlc = n % 9;
      for (uint32_t k = 0; k < 8; ++k) f.data.push_back(static_cast<uint8_t>(n % 4 == 0 ? 0 : random()));
      if (n == 12) {
        bus.ErrorAfter(f, 20);
        expected += "[Error]\n";
      }
      bus.Frame(f);
      expected += Expected(f, true);
      bus.Idle(random() % 2 ? 0 : 1e-4);
    }
    Use(lines.Render(c.rate, 1e-4), lines.idle());
    const auto code = TQLA_RATE_CODE(c.rate / 1e6);
    const std::string records = SameInBothWalkModes(*this, [&] {
      return Decode(code, static_cast<uint32_t>(c.bitRate), 1,
                    protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP)));
    });
    EXPECT_EQ(WithoutHeaders(records, "CAN"), expected) << c.bitRate << " bit/s at " << c.rate;
    stuffing.inIdentifier += bus.stuffing.inIdentifier;
    stuffing.inCrc += bus.stuffing.inCrc;
  }
  EXPECT_GT(stuffing.inIdentifier, 0);
  EXPECT_GT(stuffing.inCrc, 0);
}

TEST_F(CanTest, BadInput) {
  Lines lines(1u << kLine);
  CanTransmitter bus = Bus(lines);
  bus.Frame({0x7FF, false, true, 15, {}});  // a remote frame asking for more bytes than any frame has
  const std::vector<uint32_t> words = lines.Render(24e6, 0);
  Use(words, lines.idle());
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 500000, 1), 1);
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "CAN"), Expected({0x7FF, false, true, 15, {}}, true));
  const std::string whole = Read("records.txt");
  ASSERT_EQ(DecodeCAN(samples_.data(), out(), length(), 0, TQLA_RATE_24MHZ, kLine, 500000, ~0u, 0, 0, 1, 0, nullptr,
                      nullptr, error_),
            1);
  EXPECT_EQ(Read("records.txt"), whole) << "a reversed range reads the same";
  ASSERT_EQ(DecodeCAN(samples_.data(), out(), length() + 2, length() + 50, TQLA_RATE_24MHZ, kLine, 500000, ~0u, 0, 0, 1,
                      0, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(Read("records.txt"), "") << "a range past the buffer";
  ASSERT_EQ(DecodeCAN(samples_.data(), out(), 0, length() - 200, TQLA_RATE_24MHZ, kLine, 500000, ~0u, 0, 0, 1, 0,
                      nullptr, nullptr, error_),
            1);
  EXPECT_EQ(Read("records.txt"), "") << "a frame cut by the range's end";

  const struct {
    uint32_t* samples;
    uint32_t rate, bitRate;
    const char* message;
  } kRefused[] = {{nullptr, 247, 500000, "No sample words to decode"},
                  {samples_.data(), 99, 500000, "Unknown sample rate code 99"},
                  {samples_.data(), 247, 0, "Unsupported bit rate 0"},
                  {samples_.data(), 17, 500001, "Unsupported bit rate 500001"}};
  for (const auto& r : kRefused) {
    EXPECT_EQ(DecodeCAN(r.samples, out(), 0, length(), r.rate, kLine, r.bitRate, ~0u, 0, 0, 1, 0, nullptr, nullptr,
                        error_),
              0);
    EXPECT_STREQ(error_, r.message);
  }

  // A line stuck dominant from the start shows nothing; noise every few
  // samples ends in whole lines of the record's kinds, never a crash or a hang.
  Use(std::vector<uint32_t>(5000, 0), 0);
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 500000, 1), 1);
  EXPECT_EQ(Read("records.txt"), "");
  std::mt19937 random(3);
  std::vector<uint32_t> noise(200000);
  uint32_t level = 2;
  for (size_t k = 0; k < noise.size(); ++k) noise[k] = random() % 3 ? level : (level ^= 2);
  Use(noise, 2);
  for (uint32_t bitRate : {500000u, 4000000u, 12000000u}) {
    ASSERT_EQ(Decode(TQLA_RATE_24MHZ, bitRate, 1), 1);
    std::istringstream lines(Read("records.txt"));
    for (std::string line; std::getline(lines, line);) {
      const bool frame = (line.find(", CAN, 11-bitID:") != std::string::npos ||
                          line.find(", CAN, 29-bitID:") != std::string::npos) &&
                         (line.ends_with(",ACK:0") || line.ends_with(",ACK:1"));
      EXPECT_TRUE(frame || line == "[Error]" || line == "[Overload]") << line;
    }
  }
}

}  // namespace
}  // namespace tqla::test
