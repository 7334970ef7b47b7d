// DecodeUSB and USBDecode: request texts and record layouts, resets, filters,
// a lost SYNC bit, whole synthesized transfers at low and full speed, the
// byte-sample form with its payload buffer, and bad input.
#include <unistd.h>

#include <cstring>
#include <random>

#include "decoders_fixture.h"
#include "fieldbus_waveforms.h"

namespace tqla::test {
namespace {

constexpr int kDPlus = 0;
constexpr int kDMinus = 1;

const std::vector<uint8_t> kGetDeviceDescriptor = {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00};

// The record text a packet should give with text on, comma variant,
// hexadecimal, headers left out.
struct Expected {
  std::string text;
  bool setup = false;
  void Token(const char* label, uint32_t address, uint32_t endpoint) {
    char line[64];
    std::snprintf(line, sizeof line, "%s%s Add:%u  EndPoint:%u ", label[0] == 'S' ? "\n" : "", label, address,
                  endpoint);
    text += line;
    setup = label[0] == 'S';
  }
  void Data(const char* request, const char* label, const std::vector<uint8_t>& payload) {
    text += setup ? request : "";
    text += label;
    char byte[8];
    for (uint8_t b : payload) std::snprintf(byte, sizeof byte, "%02X,", b), text += byte;
    text += " ";
    setup = false;
  }
};

class UsbTest : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    DecodeSetName(const_cast<char*>("USB"));
  }
  int32_t Decode(int32_t rate = TQLA_RATE_24MHZ, int32_t fullSpeed = 0, char* protocolFile = nullptr,
                 int32_t address = TQLA_USB_ALL, int32_t text = 1, int32_t delimiter = TQLA_DELIMITER_COMMA,
                 int32_t hex = TQLA_FORMAT_HEX, int32_t start = 0) {
    return DecodeUSB(samples_.data(), out(), start, length(), length(), TQLA_USB_ALL, address, kDPlus, kDMinus,
                     fullSpeed, rate, 1, delimiter, text, hex, protocolFile, packets(), error_);
  }
  template <class Traffic>
  UsbHost Play(Traffic traffic, bool fullSpeed = false, double rate = 24e6) {
    Lines lines(UsbHost::Idle(kDPlus, kDMinus, fullSpeed));
    UsbHost host(lines, kDPlus, kDMinus, fullSpeed, rate, 7);
    traffic(host);
    Use(lines.Render(rate, 2e-5), lines.idle());
    return host;
  }
};

TEST_F(UsbTest, RequestsAndRecordLayouts) {
  Play([](UsbHost& h) {
    h.Token(usbpid::kSetup, 0, 0), h.Data(usbpid::kData0, kGetDeviceDescriptor), h.Handshake(usbpid::kAck);
    h.Sof(1234);
  });
  ASSERT_EQ(Decode(), 1) << error_;
  const std::string records = Read("records.txt");
  EXPECT_EQ(records.rfind("\n  2.0us, USB, SETUP  Add:0  EndPoint:0 GET DESCRIPTOR DEVICE Length:18DATA0 "
                          "80,06,00,01,00,00,12,00, ACK \n",
                          0),
            0u)
      << records;
  EXPECT_TRUE(WithoutHeaders(records, "USB").ends_with("00, ACK \nSOF   1234\n")) << records;
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 0, nullptr, TQLA_USB_ALL, 1, TQLA_DELIMITER_BLANK, TQLA_FORMAT_DECIMAL),
            1);  // blank variant, decimal
  EXPECT_NE(Read("records.txt").find("Length:18DATA0 128   6   0   1   0   0  18   0  ACK \n"), std::string::npos)
      << Read("records.txt");
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 0, nullptr, TQLA_USB_ALL, 0), 1);  // text off: the payload alone on its line
  EXPECT_EQ(Read("records.txt"), "80,06,00,01,00,00,12,00,\n");

  const struct {
    std::vector<uint8_t> setup;
    const char* text;
  } kRequests[] = {
      {{0x80, 0x06, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02}, "GET DESCRIPTOR CONFIG Length:512"},
      {{0x80, 0x06, 0x03, 0x03, 0x09, 0x04, 0xFF, 0x00}, "GET DESCRIPTOR STRING Length:255"},
      {{0x00, 0x05, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}, "SET_ADDRESS 5"},
      {{0x00, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, "SET_CONFIGURATION 1"},
      {{0x01, 0x0B, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00}, "SET_INTERFACE Alt Setting:2  Interface:3"},
      {{0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00}, "GET_STATUS "},
      {{0x81, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}, "GET_INTERFACE "},
      {{0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, ""},
  };
  for (const auto& r : kRequests) {
    Play([&](UsbHost& h) { h.Token(usbpid::kSetup, 9, 0), h.Data(usbpid::kData0, r.setup), h.Handshake(usbpid::kAck); });
    ASSERT_EQ(Decode(), 1);
    const std::string records = Read("records.txt");
    EXPECT_NE(records.find(std::string("EndPoint:0 ") + r.text + "DATA0 "), std::string::npos) << records;
  }
}

TEST_F(UsbTest, ResetFilterAndALostSyncBit) {
  // SE0 of 200 samples is a reset, shown once; the line then idles and the
  // next packet decodes.
  Play([](UsbHost& h) { h.Reset(200 / 24e6), h.Token(usbpid::kIn, 1, 2), h.Handshake(usbpid::kNak); });
  ASSERT_EQ(Decode(), 1);
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "USB"), "USB RESET\nIN     Add:1  EndPoint:2 NAK \n");

  // Only address 5 is written; the events of address 3 still go out.
  Play([](UsbHost& h) {
    for (uint32_t address : {3u, 5u, 3u}) {
      h.Token(usbpid::kOut, address, 1), h.Data(usbpid::kData0, {0x42}), h.Handshake(usbpid::kAck);
    }
  });
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 0, protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP)), 5), 1);
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "USB"), "OUT    Add:5  EndPoint:1 DATA0 42, ACK \n");
  const std::string packets = Read("packets.txt");
  int transactions = 0;
  for (size_t at = 0; (at = packets.find("\nP,", at)) != std::string::npos; ++at) ++transactions;
  EXPECT_EQ(transactions, 3) << packets;

  // A token goes out as events 4 and 1 and its 32 bits, a handshake as its
  // 16 bits and event 2.
  Play([](UsbHost& h) { h.Token(usbpid::kIn, 1, 2), h.Handshake(usbpid::kNak); });
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 0, protocol(EventProtocol(TQLA_EVENT_ACK, TQLA_EVENT_STOP))), 1);
  std::string debug = "Packet Debug, ,EVENT,04,EVENT,01,";
  for (const auto& bits : {UsbHost::TokenBits(usbpid::kIn, 1, 2), UsbHost::HandshakeBits(usbpid::kNak)}) {
    for (int bit : bits) debug += bit ? "DATA,01," : "DATA,00,";
  }
  debug += "EVENT,02,";
  EXPECT_NE(Read("packets.txt").find(debug), std::string::npos) << debug << "\n" << Read("packets.txt");

  // The range starts inside the first SYNC bit: seven SYNC bits remain.
  Play([](UsbHost& h) { h.Token(usbpid::kIn, 4, 1), h.Handshake(usbpid::kAck); });
  const int32_t insideFirstBit = 49 + 8;
  ASSERT_EQ(Decode(TQLA_RATE_24MHZ, 0, nullptr, TQLA_USB_ALL, 1, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, insideFirstBit),
            1);
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "USB"), "IN     Add:4  EndPoint:1 ACK \n");
}

TEST_F(UsbTest, SynthesizedTransfersDecodeToThePacketsSent) {
  const std::vector<uint8_t> descriptor = {0x12, 0x01, 0x10, 0x01, 0x00, 0x00, 0x00, 0x08, 0xFF,
                                           0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x01, 0x02, 0x01};
  const struct {
    bool full;
    double rate;
  } kCases[] = {{false, 24e6}, {false, 12e6}, {false, 6e6}, {true, 24e6}};
  for (const auto& c : kCases) {
    Expected e;
    const UsbHost host = Play(
        [&](UsbHost& h) {
          for (uint32_t frame = 100; frame < 103; ++frame) {
            if (c.full) {
              h.Sof(frame);
            } else {
              h.KeepAlive();
            }
            h.Token(usbpid::kSetup, 0, 0), e.Token("SETUP ", 0, 0);
            h.Data(usbpid::kData0, kGetDeviceDescriptor), e.Data("GET DESCRIPTOR DEVICE Length:18", "DATA0 ", kGetDeviceDescriptor);
            h.Handshake(usbpid::kAck), e.text += "ACK \n";
            h.Token(usbpid::kIn, 0, 0), e.Token("IN    ", 0, 0);
            h.Handshake(usbpid::kNak), e.text += "NAK \n";
            h.Token(usbpid::kIn, 0, 0), e.Token("IN    ", 0, 0);
            h.Data(usbpid::kData1, descriptor), e.Data("", "DATA1 ", descriptor);
            h.Handshake(usbpid::kAck), e.text += "ACK \n";
            h.Token(usbpid::kOut, 0, 0), e.Token("OUT   ", 0, 0);
            h.Data(usbpid::kData1, {}), e.Data("", "DATA1 ", {});
            h.Handshake(usbpid::kAck), e.text += "ACK \n";
            h.Token(usbpid::kIn, 0x7F, 0xF), e.Token("IN    ", 0x7F, 0xF);
            h.Handshake(usbpid::kStall), e.text += "STALL \n";
          }
        },
        c.full, c.rate);
    EXPECT_GT(host.stuffedBits, 0);
    const int32_t code = static_cast<int32_t>(TQLA_RATE_CODE(c.rate / 1e6));
    const std::string records = SameInBothWalkModes(*this, [&] {
      return Decode(code, c.full, protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP)), TQLA_USB_ALL, 1);
    });
    // SOF lines (full speed) stand on their own lines, between transactions.
    std::string decoded = WithoutHeaders(records, "USB");
    for (const char* sof : {"SOF   100\n", "SOF   101\n", "SOF   102\n"}) {
      if (const size_t at = decoded.find(sof); at != std::string::npos) decoded.erase(at, std::strlen(sof));
    }
    EXPECT_EQ(decoded, e.text) << (c.full ? "full" : "low") << " speed at " << c.rate;
    EXPECT_EQ(records.find("SOF   100\n") != std::string::npos, c.full);
  }
}

TEST_F(UsbTest, ByteSamplesPayloadBufferAndUsbTxt) {
  Play(
      [](UsbHost& h) {
        h.Token(usbpid::kSetup, 3, 0), h.Data(usbpid::kData0, kGetDeviceDescriptor), h.Handshake(usbpid::kAck);
        h.t += 1.2e-3;  // the next packet starts past the first millisecond
        h.Token(usbpid::kIn, 3, 0), h.Data(usbpid::kData1, {0xAB, 0xCD}), h.Handshake(usbpid::kAck);
        h.Sof(7);
        h.Handshake(0x3C);  // PRE: not a type this decoder knows
      },
      false, 6e6);
  std::vector<uint8_t> bytes(samples_.begin(), samples_.end());
  const auto count = static_cast<int32_t>(bytes.size());
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  uint8_t payload[32];
  std::fill(std::begin(payload), std::end(payload), 0xEE);
  const int32_t stored = USBDecode(bytes.data(), count, TQLA_USB_ALL, TQLA_USB_ALL, payload, sizeof payload, 0, count,
                                   kDPlus, kDMinus, 0, TQLA_RATE_6MHZ, 1);
  const std::string all = Read("usb.txt");
  const int32_t few =
      USBDecode(bytes.data(), count, TQLA_USB_ALL, 4, payload, 6, count, 0, kDPlus, kDMinus, 0, TQLA_RATE_6MHZ, 0);
  const std::string filtered = Read("usb.txt");
  ASSERT_EQ(chdir(previous), 0);

  EXPECT_EQ(all,
            "Showing all address\n \n0000000000 SETUP  Add:3  EndPoint:0 GET DESCRIPTOR DEVICE Length:18DATA0 80 06 00 "
            "01 00 00 12 00  ACK \n 0000000001 IN     Add:3  EndPoint:0 DATA1 AB CD  ACK \n 0000000001 SOF   7Invalid "
            "Token \n");
  ASSERT_EQ(stored, 4 + 8 + 4 + 2);
  const uint8_t expected[] = {0, 0, 0, 0, 0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00, 1, 0, 0, 0, 0xAB, 0xCD};
  EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), payload));
  EXPECT_EQ(payload[stored], 0xEE);
  EXPECT_EQ(few, 0);
  EXPECT_EQ(filtered, "Showing only device address 4\n");
}

TEST_F(UsbTest, BadInput) {
  Play([](UsbHost& h) { h.Token(usbpid::kIn, 1, 2), h.Handshake(usbpid::kNak); });
  ASSERT_EQ(Decode(), 1);
  const std::string whole = Read("records.txt");
  ASSERT_EQ(DecodeUSB(samples_.data(), out(), length(), 0, length(), TQLA_USB_ALL, TQLA_USB_ALL, kDPlus, kDMinus, 0,
                      TQLA_RATE_24MHZ, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(Read("records.txt"), whole) << "a reversed range reads the same";
  ASSERT_EQ(
      DecodeUSB(samples_.data(), out(), length() + 2, length() + 50, length() + 50, TQLA_USB_ALL, TQLA_USB_ALL, kDPlus,
                kDMinus, 0, TQLA_RATE_24MHZ, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, nullptr, nullptr, error_),
      1);
  EXPECT_EQ(Read("records.txt"), "") << "a range past the buffer";
  ASSERT_EQ(DecodeUSB(samples_.data(), out(), 0, length(), 600, TQLA_USB_ALL, TQLA_USB_ALL, kDPlus, kDMinus, 0,
                      TQLA_RATE_24MHZ, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "USB"), "IN     Add:1  EndPoint:2 ")
      << "the sample count cuts the range";

  const struct {
    uint32_t* samples;
    int32_t rate, fullSpeed;
    const char* message;
  } kRefused[] = {{nullptr, 247, 0, "No sample words to decode"},
                  {samples_.data(), 250, 0, "Unknown sample rate code 250"},
                  {samples_.data(), 167, 1, "Full speed needs a sample rate of 24 MHz"},
                  {samples_.data(), 27, 0, "Low speed needs a sample rate of 3 MHz or more"}};
  for (const auto& r : kRefused) {
    EXPECT_EQ(DecodeUSB(r.samples, out(), 0, length(), length(), TQLA_USB_ALL, TQLA_USB_ALL, kDPlus, kDMinus,
                        r.fullSpeed, r.rate, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, nullptr, nullptr, error_),
              0);
    EXPECT_STREQ(error_, r.message);
  }
  EXPECT_EQ(USBDecode(nullptr, 10, TQLA_USB_ALL, TQLA_USB_ALL, nullptr, 0, 0, 10, 0, 1, 0, TQLA_RATE_24MHZ, 1), 0);

  // Both lines stuck low: one reset, then nothing. Toggles every few samples
  // end in whole record lines, never a crash or a hang.
  std::vector<uint32_t> stuck(5000, 1u << kDMinus);
  std::fill(stuck.begin() + 100, stuck.end(), 0);
  Use(stuck, 0);
  for (int32_t full : {0, 1}) {
    ASSERT_EQ(Decode(TQLA_RATE_24MHZ, full), 1);
    EXPECT_EQ(Read("records.txt"), "USB RESET\n");
  }
  std::mt19937 random(9);
  std::vector<uint32_t> noise(400000);
  uint32_t level = 1u << kDMinus;
  for (uint32_t& word : noise) word = random() % 3 ? level : (level = random() % 4);
  Use(noise, level);
  for (int32_t full : {0, 1}) {
    ASSERT_EQ(Decode(TQLA_RATE_24MHZ, full), 1);
    Read("records.txt");  // whole lines, each ended by CR LF
  }
}

}  // namespace
}  // namespace tqla::test
