// The simulated pod's fieldbus source: each of its buses decodes to the
// traffic it was drawn with, across the point where the source repeats.
#include "decoders/decoders_fixture.h"
#include "sim/fieldbus_source.h"
#include "sim/signal_source.h"

namespace tqla::test {
namespace {

class FieldbusSource : public DecodersTest {
 public:
  void SetUp() override {
    DecodersTest::SetUp();
    const auto source = sim::MakeGenerated(sim::Generator::Fieldbus);
    ASSERT_EQ(source->words.size(), sim::kFieldbusPeriod);
    std::vector<uint32_t> twice = source->words;
    twice.insert(twice.end(), source->words.begin(), source->words.end());
    Use(twice, source->words.front());
  }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
  }
};

TEST_F(FieldbusSource, CanFramesWithAnErrorFrame) {
  DecodeSetName(const_cast<char*>("CAN"));
  ASSERT_EQ(DecodeCAN(samples_.data(), out(), 0, length(), TQLA_RATE_12MHZ, 0, 500000, ~0u, 0, 0, 1, 0, nullptr,
                      nullptr, error_),
            1);
  const std::string records = Read("records.txt");
  EXPECT_EQ(Count(records, ", CAN, "), 2 * 16) << records;
  EXPECT_EQ(Count(records, "[Error]\n"), 2) << records;
  EXPECT_EQ(Count(records, "11-bitID:123,RTR:0,Control:02,Data:11,22,,,,,,,CRC:"), 4) << records;
  EXPECT_EQ(Count(records, "29-bitID:18DAF110,RTR:0,Control:03,Data:02,10,03,,,,,,CRC:"), 4) << records;
  EXPECT_EQ(Count(records, "11-bitID:321,RTR:1,Control:00,CRC:"), 4) << records;
  EXPECT_EQ(Count(records, ",ACK:0\n"), 2 * 16) << "every frame acknowledged\n" << records;
}

TEST_F(FieldbusSource, UsbEnumerationAndKeyReports) {
  DecodeSetName(const_cast<char*>("USB"));
  ASSERT_EQ(DecodeUSB(samples_.data(), out(), 0, length(), length(), TQLA_USB_ALL, TQLA_USB_ALL, 1, 2, 0,
                      TQLA_RATE_12MHZ, 0, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, nullptr, nullptr, error_),
            1);
  const std::string records = WithoutHeaders(Read("records.txt"), "USB");
  const std::string enumeration =
      "\nSETUP  Add:0  EndPoint:0 GET DESCRIPTOR DEVICE Length:18DATA0 80,06,00,01,00,00,12,00, ACK \n"
      "IN     Add:0  EndPoint:0 NAK \n"
      "IN     Add:0  EndPoint:0 DATA1 12,01,10,01,00,00,00,08, ACK \n"
      "OUT    Add:0  EndPoint:0 DATA1  ACK \n"
      "\nSETUP  Add:0  EndPoint:0 SET_ADDRESS 5DATA0 00,05,05,00,00,00,00,00, ACK \n"
      "IN     Add:0  EndPoint:0 DATA1  ACK \n";
  EXPECT_EQ(Count(records, enumeration), 2) << records;
  EXPECT_EQ(Count(records, "IN     Add:5  EndPoint:1 DATA0 00,00,17,00,00,00,00,00, ACK \n"), 2 * 4) << records;
  EXPECT_EQ(Count(records, "IN     Add:5  EndPoint:1 NAK \n"), 2 * 8) << records;
}

TEST_F(FieldbusSource, Ps2KeyboardAndLedCommand) {
  DecodeSetName(const_cast<char*>("PS2"));
  ASSERT_EQ(DecodePS2(samples_.data(), out(), 0, length(), TQLA_RATE_12MHZ, 3, 4, 0, nullptr, nullptr, error_), 1);
  const std::string once =
      "Device: 2C \nDevice: F0 \nDevice: 2C \nDevice: 15 \nDevice: F0 \nDevice: 15 \nDevice: 4B \nDevice: F0 \n"
      "Device: 4B \nDevice: 1C \nDevice: F0 \nDevice: 1C \nHost:   ED \nDevice: FA \nHost:   02 \nDevice: FA \n";
  EXPECT_EQ(WithoutHeaders(Read("records.txt"), "PS2"), once + once);
}

}  // namespace
}  // namespace tqla::test
