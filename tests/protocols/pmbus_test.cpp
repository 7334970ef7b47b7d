// pmbus: SMBus transactions of a host with a power supply at 100 kHz, sampled
// at 4 MHz, one packet each, block reads and PEC bytes in their layers.
#include <string>
#include <vector>

#include "protocols_fixture.h"

namespace tqla::test {
namespace {

constexpr double kRate = 4e6;
constexpr int kScl = 0;
constexpr int kSda = 1;
constexpr uint8_t kDevice = 0x40;

// A transaction as the host drives it: bytes written after the address, and
// when read is not empty, a repeated START and the bytes read.
struct Transaction {
  uint8_t address = kDevice;
  bool readFirst = false;  // a read without a command (receive byte)
  std::vector<uint8_t> written;
  std::vector<uint8_t> read;
  std::string record;  // after the sample index
  bool addressAcked = true;
  size_t layerAt = 0;   // the byte on the bus (address bytes counted) where a
  std::string layer{};  // higher layer's record begins (0: none), and that record
};

class PmbusTest : public ProtocolsTest {
 public:
  std::vector<ExpectedPacket> Send(const std::vector<Transaction>& transactions, size_t cutAfterBytes = 0) {
    Lines lines((1u << kSda) | (1u << kScl) | (1u << 7));
    I2cMaster host{lines, kSda, kScl, 2.5e-6};
    std::vector<ExpectedPacket> expected;
    for (size_t n = 0; n < transactions.size(); ++n) {
      const Transaction& x = transactions[n];
      const bool cut = cutAfterBytes && n + 1 == transactions.size();
      std::vector<uint8_t> onBus;
      std::vector<double> byteDone;  // when the clock falls after each byte's last bit
      // Times summed as the host sums them, to the same last bit.
      auto after = [&](int quarters) {
        double at = host.t;
        for (int q = 0; q < quarters; ++q) at += host.quarter;
        return at;
      };
      auto send = [&](uint8_t value, bool ack) {
        byteDone.push_back(after(31));
        onBus.push_back(value);
        host.Byte(value, ack);
      };
      const uint32_t start = SampleAt(after(2), kRate);
      host.Start();
      send(static_cast<uint8_t>(x.address << 1 | (x.readFirst ? 1 : 0)), x.addressAcked);
      for (uint8_t b : x.written) send(b, true);
      if (!x.read.empty() && !x.readFirst) {
        host.Start();
        send(static_cast<uint8_t>(x.address << 1 | 1), true);
      }
      for (size_t k = 0; k < x.read.size(); ++k) send(x.read[k], k + 1 < x.read.size());
      if (cut) {
        // The capture ends during the transaction, with the bus as it is then.
        std::vector<uint32_t> words = lines.Render(kRate, 0);
        words.resize(SampleAt(byteDone[cutAfterBytes - 1], kRate) + 4 * host.quarter * kRate);
        onBus.resize(cutAfterBytes);
        expected.push_back({"PMBUS," + std::to_string(start) + "," + x.record, HexTokens(onBus)});
        Use(words, words.back());
        return expected;
      }
      host.Stop();
      expected.push_back({"PMBUS," + std::to_string(start) + "," + x.record, HexTokens(onBus)});
      if (const size_t first = x.layerAt) {
        expected.push_back({x.layer.substr(0, x.layer.find(',')) + "," +
                                std::to_string(SampleAt(byteDone[first], kRate)) + x.layer.substr(x.layer.find(',')),
                            HexTokens({onBus.begin() + static_cast<long>(first), onBus.end()}), true});
      }
    }
    OtherTraffic(lines, 7, 0, host.t);
    Use(lines.Render(kRate, 1e-4), lines.idle());
    return expected;
  }

  int32_t Decode() {
    return DecodeI2C(samples_.data(), out(), 0, length(), 47, kSda, kScl, 1, 1, 1, 1, Definition("pmbus"), packets(),
                     error_);
  }
};

TEST_F(PmbusTest, TransactionsOfEveryForm) {
  const std::vector<Transaction> transactions = {
      {kDevice, false, {0x00, 0x01}, {}, "ADDR,40,RW,Write,CMD,PAGE,VALUE,01,"},
      {kDevice, false, {0x03}, {}, "ADDR,40,RW,Write,CMD,CLEAR_FAULTS,"},
      {kDevice, false, {0x21, 0x4D, 0x0C}, {}, "ADDR,40,RW,Write,CMD,VOUT_COMMAND,VALUE,0C4D,"},
      {kDevice, false, {0x8B}, {0x9A, 0x0C}, "ADDR,40,RW,Write,CMD,READ_VOUT,ADDR,40,RW,Read,VALUE,0C9A,"},
      {kDevice, false, {0x78}, {0x42}, "ADDR,40,RW,Write,CMD,STATUS_BYTE,ADDR,40,RW,Read,VALUE,42,"},
      {kDevice, false, {0x99}, {0x04, 'A', 'C', 'M', 'E'},
       "ADDR,40,RW,Write,CMD,MFR_ID,ADDR,40,RW,Read,BLOCK,04 41 43 4D 45,", true, 3, "BLOCK,COUNT,4,DATA,41434D45,"},
      {kDevice, false, {0x9A, 0x06, 'P', 'S', 'U', '-', '1', '2'}, {},
       "ADDR,40,RW,Write,CMD,MFR_MODEL,BLOCK,06 50 53 55 2D 31 32,", true, 2,
       "BLOCK,COUNT,6,DATA,50 53 55 2D 31 32,"},
      // A word read with its PEC: the PEC byte follows as a record of its own.
      {kDevice, false, {0x8C}, {0x10, 0xD0, 0x5B}, "ADDR,40,RW,Write,CMD,READ_IOUT,ADDR,40,RW,Read,VALUE,D010,", true,
       5, "PEC,PEC,5B,"},
      // Unknown commands show their number.
      {kDevice, false, {0xD0, 0x12}, {}, "ADDR,40,RW,Write,CMD,D0,VALUE,12,"},
      {kDevice, true, {}, {0x5C}, "ADDR,40,RW,Read,VALUE,5C,"},
      {kDevice, false, {}, {}, "ADDR,40,RW,Write,"},
      {0x50, false, {}, {}, "ADDR,50,RW,Write, ,not acknowledged,", false},
  };
  const auto expected = Send(transactions);
  ASSERT_EQ(Decode(), 1) << error_;
  ExpectPackets(expected);
}

TEST_F(PmbusTest, ATransactionCutByTheEndOfTheCapture) {
  // The end of the capture ends the open transaction: what came is shown.
  const std::vector<Transaction> transactions = {
      {kDevice, false, {0x8D}, {0x20, 0x01}, "ADDR,40,RW,Write,CMD,READ_TEMPERATURE_1,ADDR,40,RW,Read,VALUE,0120,"},
      {kDevice, false, {0x21, 0x4D, 0x0C}, {}, "ADDR,40,RW,Write,CMD,VOUT_COMMAND,VALUE,4D,"},
  };
  const auto expected = Send(transactions, 3);
  ASSERT_EQ(Decode(), 1) << error_;
  ExpectPackets(expected);
}

}  // namespace
}  // namespace tqla::test
