// modbus-rtu and modbus-meter: frames of a serial line sent with their CRC,
// 8E1 at 19200 baud sampled at 1 MHz, decoded into packets.
#include <cstdint>
#include <string>
#include <vector>

#include "protocols_fixture.h"

namespace tqla::test {
namespace {

constexpr double kRate = 1e6;
constexpr int32_t kRateCode = 17;
constexpr double kBaud = 19200;
constexpr double kCharacter = 11 / kBaud;
constexpr int kChannel = 2;

uint16_t Crc16(const std::vector<uint8_t>& bytes) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

// A frame and the fields its record shows between the function and the CRC.
struct Frame {
  std::vector<uint8_t> bytes;  // address, function and data, without the CRC
  std::string fields;
  uint16_t crcError = 0;       // XOR-ed into the CRC sent
  double gapBefore = 3.5;      // character times of silence before the frame
  double gapInside = 0;        // character times between its characters
  bool fragment = false;       // too short for a frame: its record shows its bytes
};

struct Layer {
  size_t firstByte;  // in the frame, CRC not counted
  size_t bytes;
  std::string record;  // after the protocol's name and the sample index
};

class ModbusTest : public ProtocolsTest {
 public:
  // Sends the frames one after another; the last is cut after cutAfter bytes
  // when given. Returns the packets the frames should give, with layers.
  std::vector<ExpectedPacket> Send(const std::vector<Frame>& frames, const std::string& name,
                                   const std::vector<std::vector<Layer>>& layers = {}, size_t cutAfter = 0) {
    Lines lines(1u << kChannel | 1u << 7);
    double t = 1e-3;
    std::vector<ExpectedPacket> expected;
    for (size_t f = 0; f < frames.size(); ++f) {
      const Frame& frame = frames[f];
      std::vector<uint8_t> bytes = frame.bytes;
      const uint16_t crc = Crc16(bytes) ^ frame.crcError;
      bytes.push_back(crc & 0xFF);
      bytes.push_back(crc >> 8);
      t += frame.gapBefore * kCharacter;
      std::vector<double> starts;
      const bool cut = cutAfter && f + 1 == frames.size();
      for (size_t b = 0; b < bytes.size() && !(cut && b == cutAfter); ++b) {
        starts.push_back(t);
        t = SendCharacter(lines, kChannel, t, kBaud, bytes[b], 8, true) + frame.gapInside * kCharacter;
      }
      if (cut) break;
      const std::string head = name + "," + std::to_string(SampleAt(starts[0], kRate)) + ",";
      const std::string record =
          frame.fragment ? "FRAGMENT," + HexField(bytes) + "," : frame.fields + "CRC," + Hex(crc, 4) + ",";
      expected.push_back({head + record, HexTokens(bytes)});
      for (const Layer& l : f < layers.size() ? layers[f] : std::vector<Layer>{}) {
        const std::vector<uint8_t> part(bytes.begin() + l.firstByte, bytes.begin() + l.firstByte + l.bytes);
        const size_t name = l.record.find(',');
        const std::string sample = std::to_string(SampleAt(starts[l.firstByte], kRate));
        expected.push_back({l.record.substr(0, name) + "," + sample + l.record.substr(name), HexTokens(part), true});
      }
    }
    OtherTraffic(lines, 7, 0, t);
    // Without a cut the capture goes on past the timeout, which ends the last frame.
    Use(lines.Render(kRate, cutAfter ? 0 : 3e-3), lines.idle());
    return expected;
  }

  int32_t Decode(const std::string& definition) {
    return DecodeASYNC(samples_.data(), out(), 0, length(), kRateCode, 1u << kChannel, static_cast<uint32_t>(kBaud), 3,
                       8, 1, 1, 0, 16, Definition(definition), packets(), error_);
  }
};

TEST_F(ModbusTest, RequestsResponsesAndExceptionsOfTheCommonFunctions) {
  const std::vector<Frame> frames = {
      {{17, 3, 0x00, 0x6B, 0x00, 0x03}, "ADDR,17,FUNC,Read_Holding_Registers,START,107,QUANTITY,3,"},
      {{17, 3, 6, 0xAE, 0x41, 0x56, 0x52, 0x43, 0x40},
       "ADDR,17,FUNC,Read_Holding_Registers,COUNT,6,REGISTERS,AE 41 56 52 43 40,"},
      // Two registers make a response one byte longer than a request, one
      // register a byte shorter.
      {{17, 4, 4, 0x00, 0x0A, 0x01, 0x02}, "ADDR,17,FUNC,Read_Input_Registers,COUNT,4,REGISTERS,000A0102,"},
      {{17, 4, 2, 0x00, 0x2A}, "ADDR,17,FUNC,Read_Input_Registers,COUNT,2,REGISTERS,002A,"},
      {{11, 1, 0x00, 0x13, 0x00, 0x25}, "ADDR,11,FUNC,Read_Coils,START,19,QUANTITY,37,"},
      {{11, 1, 5, 0xCD, 0x6B, 0xB2, 0x0E, 0x1B}, "ADDR,11,FUNC,Read_Coils,COUNT,5,STATUS,CD 6B B2 0E 1B,"},
      {{11, 2, 0x00, 0xC4, 0x00, 0x16}, "ADDR,11,FUNC,Read_Discrete_Inputs,START,196,QUANTITY,22,"},
      {{11, 2, 4, 0xAC, 0xDB, 0x35, 0x01}, "ADDR,11,FUNC,Read_Discrete_Inputs,COUNT,4,STATUS,ACDB3501,"},
      {{17, 5, 0x00, 0xAC, 0xFF, 0x00}, "ADDR,17,FUNC,Write_Single_Coil,OUTPUT,172,COIL,ON,"},
      {{17, 5, 0x00, 0xAD, 0x00, 0x00}, "ADDR,17,FUNC,Write_Single_Coil,OUTPUT,173,COIL,OFF,"},
      {{17, 6, 0x00, 0x01, 0x00, 0x03}, "ADDR,17,FUNC,Write_Single_Register,REGISTER,1,VALUE,0003,"},
      {{17, 15, 0x00, 0x13, 0x00, 0x0A, 2, 0xCD, 0x01},
       "ADDR,17,FUNC,Write_Multiple_Coils,START,19,QUANTITY,10,COUNT,2,STATUS,CD01,"},
      {{17, 15, 0x00, 0x13, 0x00, 0x0A}, "ADDR,17,FUNC,Write_Multiple_Coils,START,19,QUANTITY,10,"},
      {{17, 16, 0x00, 0x01, 0x00, 0x03, 6, 0x00, 0x0A, 0x01, 0x02, 0x30, 0x39},
       "ADDR,17,FUNC,Write_Multiple_Registers,START,1,QUANTITY,3,COUNT,6,REGISTERS,00 0A 01 02 30 39,"},
      {{17, 16, 0x00, 0x01, 0x00, 0x03}, "ADDR,17,FUNC,Write_Multiple_Registers,START,1,QUANTITY,3,"},
      {{17, 0x83, 0x02}, "ADDR,17,FUNC,Read_Holding_Registers,EXCEPTION,Illegal_Data_Address,"},
      {{17, 0x90, 0x0B}, "ADDR,17,FUNC,Write_Multiple_Registers,EXCEPTION,Gateway_Target_Device_Failed_To_Respond,"},
      {{17, 7}, "ADDR,17,FUNC,Read_Exception_Status,"},
      {{17, 7, 0x6D}, "ADDR,17,FUNC,Read_Exception_Status,OUTPUTS,01101101,"},
      {{17, 8, 0x00, 0x00, 0xA5, 0x37}, "ADDR,17,FUNC,Diagnostics,SUBFUNCTION,Return_Query_Data,DATA,A537,"},
      {{0, 6, 0x00, 0x10, 0x12, 0x34}, "ADDR,broadcast,FUNC,Write_Single_Register,REGISTER,16,VALUE,1234,"},
  };
  const auto expected = Send(frames, "MODBUS");
  ASSERT_EQ(Decode("modbus-rtu"), 1) << error_;
  ExpectPackets(expected);
}

TEST_F(ModbusTest, AwkwardTraffic) {
  std::vector<Frame> frames = {
      // Unknown functions show their number, with data or without; a stray
      // byte and the two after it show as a fragment.
      {{17, 65, 0x01, 0x02}, "ADDR,17,FUNC,65,DATA,0102,"},
      {{17, 100}, "ADDR,17,FUNC,100,"},
      {{0x11}, "", 0, 3.5, 0, true},
      // A wrong CRC is shown as it came.
      {{17, 6, 0x00, 0x01, 0x00, 0x03}, "ADDR,17,FUNC,Write_Single_Register,REGISTER,1,VALUE,0003,", 0x0100},
      // Frames with the shortest silence between them, and characters 1.5
      // character times apart inside one.
      {{17, 3, 0x00, 0x00, 0x00, 0x01}, "ADDR,17,FUNC,Read_Holding_Registers,START,0,QUANTITY,1,", 0, 3.5, 1.5},
      {{17, 3, 2, 0x12, 0x34}, "ADDR,17,FUNC,Read_Holding_Registers,COUNT,2,REGISTERS,1234,"},
      {{17, 3, 0x00, 0x00, 0x00, 0x01}, "ADDR,17,FUNC,Read_Holding_Registers,START,0,QUANTITY,1,"},
  };
  {
    const auto expected = Send(frames, "MODBUS");
    ASSERT_EQ(Decode("modbus-rtu"), 1) << error_;
    ExpectPackets(expected);
  }
  // A frame cut by the end of the capture is not written: the timeout that
  // would end it never comes. The frame before it ends where it begins.
  frames.push_back({{17, 16, 0x00, 0x01, 0x00, 0x01, 2, 0xAB, 0xCD}, ""});
  const auto expected = Send(frames, "MODBUS", {}, 6);
  ASSERT_EQ(expected.size(), frames.size() - 1);
  ASSERT_EQ(Decode("modbus-rtu"), 1) << error_;
  ExpectPackets(expected);
}

TEST_F(ModbusTest, MeterReadingsAndRegistersGoToTheirLayers) {
  const std::vector<Frame> frames = {
      {{1, 4, 0x00, 0x00, 0x00, 0x04}, "ADDR,1,FUNC,Read_Input_Registers,START,0,QUANTITY,4,"},
      {{1, 4, 8, 0x09, 0x01, 0x1F, 0x40, 0x04, 0x4C, 0x13, 0x88}, "ADDR,1,FUNC,Read_Input_Registers,COUNT,8,"},
      {{1, 3, 0x00, 0x10, 0x00, 0x03}, "ADDR,1,FUNC,Read_Holding_Registers,START,16,QUANTITY,3,"},
      {{1, 3, 6, 0x00, 0x01, 0x30, 0x39, 0xFF, 0xFF}, "ADDR,1,FUNC,Read_Holding_Registers,COUNT,6,"},
      {{1, 16, 0x00, 0x20, 0x00, 0x02, 4, 0x00, 0x64, 0x00, 0xC8},
       "ADDR,1,FUNC,Write_Multiple_Registers,START,32,QUANTITY,2,COUNT,4,"},
      {{1, 6, 0x00, 0x20, 0x00, 0x64}, "ADDR,1,FUNC,Write_Single_Register,TARGET,32,VALUE,100,"},
  };
  const std::vector<std::vector<Layer>> layers = {
      {},
      {{3, 8, "METER,VOLTAGE,230.5 V,CURRENT,8.000 A,POWER,1100 W,FREQUENCY,50.00 Hz,"}},
      {},
      {{3, 2, "REGISTER,VALUE,1,"}, {5, 2, "REGISTER,VALUE,12345,"}, {7, 2, "REGISTER,VALUE,65535,"}},
      {{7, 2, "REGISTER,VALUE,100,"}, {9, 2, "REGISTER,VALUE,200,"}},
  };
  const auto expected = Send(frames, "MODBUS", layers);
  ASSERT_EQ(Decode("modbus-meter"), 1) << error_;
  ExpectPackets(expected);
}

}  // namespace
}  // namespace tqla::test
