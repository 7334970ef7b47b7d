// The protocols demonstration source decodes, at 24 MHz and with its
// documented wiring, into packets of the shipped definitions, also when a
// capture runs across the end of its period.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "capture/capture_state.h"
#include "decoders/decoder_state.h"
#include "sim/protocols_source.h"
#include "sim/signal_source.h"
#include "test_support.h"

namespace tqla::test {
namespace {

constexpr int32_t kRate24MHz = 247;

class ProtocolsSource : public ::testing::Test {
 protected:
  void SetUp() override {
    period_ = sim::MakeGenerated(sim::Generator::Protocols)->words;
    ResetCapture();
    ResetDecoders();
  }
  void TearDown() override { SetCurrentBuffer(nullptr, 0, 0); }

  // Decodes one period that starts at sample from of the source with the
  // definition, and returns each packet record without its sample index and
  // offsets.
  using Decoder = std::function<int32_t(uint32_t* words, int32_t end, uint8_t* out, char* protocol, char* packets,
                                        char* error)>;
  std::vector<std::string> Packets(const std::string& definition, uint32_t from, const Decoder& decode) {
    words_.assign(period_.begin() + from, period_.end());
    words_.insert(words_.end(), period_.begin(), period_.begin() + from);
    words_.insert(words_.end(), 4, words_.back());
    UseHostBuffer(words_, static_cast<uint32_t>(words_.size()));
    std::string protocol =
        (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "protocols" / definition)
            .string() +
        ".txt";
    std::string out = dir_.file("records.txt"), packets = dir_.file("packets.txt");
    char error[256] = "";
    EXPECT_EQ(decode(words_.data(), static_cast<int32_t>(words_.size()), reinterpret_cast<uint8_t*>(out.data()),
                     protocol.data(), packets.data(), error),
              1)
        << error;
    std::vector<std::string> records;
    std::istringstream lines(ReadCrLfText(packets));
    for (std::string line; std::getline(lines, line);) {
      const size_t sample = line.find(',') + 1;
      const size_t fields = line.find(',', sample);
      records.push_back(line.substr(0, sample) + line.substr(fields + 1, line.rfind("EoP") - fields - 1));
    }
    return records;
  }

  std::vector<uint32_t> period_, words_;
  TempDir dir_;
  ConsoleText console_;  // the packet engine's messages, unread
};

TEST_F(ProtocolsSource, EachBusDecodesIntoItsDefinitionsPackets) {
  ASSERT_EQ(period_.size(), sim::kProtocolsPeriod);
  const struct {
    const char* definition;
    Decoder decode;
    size_t packets;
    std::vector<std::string> some;
  } kBuses[] = {
      {"modbus-meter",
       [](uint32_t* w, int32_t end, uint8_t* out, char* p, char* k, char* e) {
         return DecodeASYNC(w, out, 0, end, kRate24MHz, 1u << 6, 115200, 3, 8, 1, 1, 0, 16, p, k, e);
       },
       12 + 1 + 3 + 2,
       {"METER,VOLTAGE,230.5 V,CURRENT,8.000 A,POWER,1100 W,FREQUENCY,50.00 Hz,",
        "MODBUS,ADDR,17,FUNC,Read_Holding_Registers,EXCEPTION,Illegal_Data_Address,CRC,34C1,"}},
      {"nmea-0183",
       [](uint32_t* w, int32_t end, uint8_t* out, char* p, char* k, char* e) {
         return DecodeASYNC(w, out, 0, end, kRate24MHz, 1u << 7, 115200, 0, 8, 1, 1, 0, 16, p, k, e);
       },
       3,
       {"NMEA,TALKER,GPS,SENTENCE,GSA,DATA,[2C] A [2C] 3 [2C] 0 4 [2C] 0 5 [2C] 0 9 [2C] 1 2 [2C] 2 4 [2C] [2C] [2C] "
        "[2C] [2C] [2C] [2C] [2C] 2 . 5 [2C] 1 . 3 [2C] 2 . 1 * 3 9,"}},
      {"pmbus",
       [](uint32_t* w, int32_t end, uint8_t* out, char* p, char* k, char* e) {
         return DecodeI2C(w, out, 0, end, kRate24MHz, 1, 0, 1, 1, 1, 1, p, k, e);
       },
       10 + 2,
       {"PMBUS,ADDR,40,RW,Write,CMD,READ_TEMPERATURE_1,ADDR,40,RW,Read,VALUE,F847,", "BLOCK,COUNT,4,DATA,41434D45,"}},
      {"spi-flash",
       [](uint32_t* w, int32_t end, uint8_t* out, char* p, char* k, char* e) {
         return DecodeSPIVariable(w, out, 0, end, kRate24MHz, 5, 2, 3, 4, 1, 1, 1, 1, 1, 64, 8, p, k, e);
       },
       9,
       {"FLASH,OPCODE,JEDEC_ID,MANUFACTURER,Winbond,TYPE,40,CAPACITY,18,",
        "FLASH,OPCODE,READ,ADDRESS,001000,DATA,00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF,"}},
      {"canopen",
       [](uint32_t* w, int32_t end, uint8_t* out, char* p, char* k, char* e) {
         return DecodeCAN(w, out, 0, end, kRate24MHz, 8, 500000, 0xFFFFFFFF, 0, 0, 0, 0, p, k, e);
       },
       8,
       {"CANOPEN,FUNCTION,SDO_tx,NODE,5,DLC,8,SCS,Initiate_upload,FLAGS,00011,INDEX,1000,SUBINDEX,00,DATA,00020192,"
        "CRC,4D68,ACK,yes,"}},
  };
  for (const auto& bus : kBuses) {
    SCOPED_TRACE(bus.definition);
    std::vector<std::string> whole = Packets(bus.definition, 0, bus.decode);
    EXPECT_EQ(whole.size(), bus.packets);
    for (const std::string& record : bus.some) {
      EXPECT_NE(std::find(whole.begin(), whole.end(), record), whole.end()) << record;
    }
    // A capture that begins where every bus rests, near the end of the
    // period, and runs across it: the same packets, in another order.
    std::vector<std::string> turned = Packets(bus.definition, 900000, bus.decode);
    std::sort(whole.begin(), whole.end());
    std::sort(turned.begin(), turned.end());
    EXPECT_EQ(turned, whole);
  }
}

}  // namespace
}  // namespace tqla::test
