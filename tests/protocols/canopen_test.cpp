// canopen: a CANopen network's frames at 500 kbit/s, sampled at 12 MHz.
#include <string>
#include <utility>
#include <vector>

#include "decoders/fieldbus_waveforms.h"
#include "protocols_fixture.h"

namespace tqla::test {
namespace {

constexpr double kRate = 12e6;
constexpr double kBitRate = 500000;
constexpr int kChannel = 8;

struct Message {
  CanFrame frame;
  std::string record;  // after the sample index, up to the CRC
};

class CanopenTest : public ProtocolsTest {
 public:
  // Sends the messages with an error frame before the last one; the capture
  // ends cutBits bits into the last frame when given.
  std::vector<ExpectedPacket> Send(const std::vector<Message>& messages, int cutBits = 0) {
    Lines lines(1u << kChannel);
    CanTransmitter tx(lines, kChannel, kBitRate, kRate, 1);
    std::vector<ExpectedPacket> expected;
    double cutAt = 0;
    for (size_t n = 0; n < messages.size(); ++n) {
      const CanFrame& f = messages[n].frame;
      if (n + 1 == messages.size()) tx.ErrorAfter(f, 20);
      const uint32_t sof = SampleAt(tx.t, kRate);
      cutAt = tx.t + cutBits / kBitRate;
      tx.Frame(f);
      tx.Idle(20 / kBitRate);
      if (cutBits && n + 1 == messages.size()) break;
      const std::vector<int> bits = CanBits(f);
      uint32_t crc = 0;
      for (size_t k = bits.size() - 15; k < bits.size(); ++k) crc = crc << 1 | static_cast<uint32_t>(bits[k]);
      expected.push_back({"CANOPEN," + std::to_string(sof) + "," + messages[n].record +
                              (f.extended ? "" : "CRC," + Hex(crc, 4) + ",ACK," + (f.acked ? "yes," : "no,")),
                          {Hex(f.id, f.extended ? 8 : 3), f.remote ? "1" : "0", Hex(f.dlc, 2)}, true});
    }
    std::vector<uint32_t> words = lines.Render(kRate, 1e-4);
    if (cutBits) words.resize(SampleAt(cutAt, kRate));
    Use(words, lines.idle());
    return expected;
  }

  int32_t Decode() {
    return DecodeCAN(samples_.data(), out(), 0, length(), 127, kChannel, static_cast<uint32_t>(kBitRate), 0xFFFFFFFF,
                     0, 0, 0, 0, Definition("canopen"), packets(), error_);
  }
};

CanFrame Data(uint32_t id, std::vector<uint8_t> data, bool acked = true, bool extended = false) {
  CanFrame f;
  f.id = id;
  f.extended = extended;
  f.dlc = static_cast<uint32_t>(data.size());
  f.data = std::move(data);
  f.acked = acked;
  return f;
}

CanFrame Remote(uint32_t id, uint32_t dlc) {
  CanFrame f = Data(id, {});
  f.remote = true;
  f.dlc = dlc;
  return f;
}

const std::vector<Message> kMessages = {
    {Data(0x000, {0x01, 0x00}), "FUNCTION,NMT,NODE,0,DLC,2,COMMAND,Start,TARGET,all_nodes,"},
    {Data(0x000, {0x81, 0x05}), "FUNCTION,NMT,NODE,0,DLC,2,COMMAND,Reset_Node,TARGET,5,"},
    {Data(0x080, {}), "FUNCTION,SYNC/EMCY,NODE,0,DLC,0,"},
    {Data(0x080, {0x2A}), "FUNCTION,SYNC/EMCY,NODE,0,DLC,1,COUNTER,42,"},
    {Data(0x085, {0x10, 0x81, 0x11, 0, 0, 0, 0, 0x07}),
     "FUNCTION,SYNC/EMCY,NODE,5,DLC,8,ERROR_CODE,CAN_overrun,ERROR_REGISTER,11,MANUFACTURER,00 00 00 00 07,"},
    {Data(0x100, {0x00, 0x5C, 0x26, 0x05, 0x2E, 0x3A}),
     "FUNCTION,TIME,NODE,0,DLC,6,MILLISECONDS,86400000,DAYS,14894,"},
    {Data(0x185, {0x12, 0x34, 0x56, 0x78}), "FUNCTION,TPDO1,NODE,5,DLC,4,DATA,12345678,"},
    {Data(0x205, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}), "FUNCTION,RPDO1,NODE,5,DLC,6,DATA,01 02 03 04 05 06,"},
    {Data(0x605, {0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0}),
     "FUNCTION,SDO_rx,NODE,5,DLC,8,CCS,Initiate_upload,FLAGS,00000,INDEX,1000,SUBINDEX,00,DATA,00000000,"},
    {Data(0x585, {0x43, 0x00, 0x10, 0x00, 0x92, 0x01, 0x02, 0x00}),
     "FUNCTION,SDO_tx,NODE,5,DLC,8,SCS,Initiate_upload,FLAGS,00011,INDEX,1000,SUBINDEX,00,DATA,00020192,"},
    {Data(0x605, {0x10, 1, 2, 3, 4, 5, 6, 7}),
     "FUNCTION,SDO_rx,NODE,5,DLC,8,CCS,Download_segment,TOGGLE,1,UNUSED,0,LAST,0,DATA,01 02 03 04 05 06 07,"},
    {Data(0x585, {0x80, 0x00, 0x20, 0x01, 0x00, 0x00, 0x02, 0x06}),
     "FUNCTION,SDO_tx,NODE,5,DLC,8,SCS,Abort,INDEX,2000,SUBINDEX,01,ABORT_CODE,Object_does_not_exist,"},
    {Data(0x705, {0x00}), "FUNCTION,NMT_error_control,NODE,5,DLC,1,TOGGLE,0,STATE,Boot-up,"},
    {Data(0x705, {0x05}), "FUNCTION,NMT_error_control,NODE,5,DLC,1,TOGGLE,0,STATE,Operational,"},
    {Remote(0x705, 1), "FUNCTION,NMT_error_control,NODE,5,DLC,1, ,remote request,"},
    // An unknown function shows its number; a frame nobody acknowledged says so.
    {Data(0x685, {0xAA, 0xBB, 0xCC}, false), "FUNCTION,D,NODE,5,DLC,3,DATA,AABBCC,"},
    {Data(0x18FF1234, {0x01, 0x02}, true, true), "BASE_ID,63F,EXTENSION,31234,RTR,0,DLC,2, ,extended frame,"},
};

TEST_F(CanopenTest, ObjectsOfANetwork) {
  const auto expected = Send(kMessages);
  ASSERT_EQ(Decode(), 1) << error_;
  ExpectPackets(expected);
}

TEST_F(CanopenTest, AFrameCutByTheEndOfTheCapture) {
  // The CAN decoder hands over a frame only once it has ended, so a frame
  // the capture cuts gives no packet; the ones before it are all there.
  std::vector<Message> messages(kMessages.begin(), kMessages.begin() + 3);
  const auto expected = Send(messages, 30);
  ASSERT_EQ(expected.size(), 2u);
  ASSERT_EQ(Decode(), 1) << error_;
  ExpectPackets(expected);
}

}  // namespace
}  // namespace tqla::test
