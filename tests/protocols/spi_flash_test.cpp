// spi-flash: commands of a host to a NOR flash and the flash's answers, in
// clock modes 0 and 3 at 500 kHz, sampled at 4 MHz.
#include <string>
#include <vector>

#include "protocols_fixture.h"

namespace tqla::test {
namespace {

constexpr double kRate = 4e6;
constexpr int kSs = 5, kSck = 2, kMosi = 3, kMiso = 4;

struct Command {
  std::vector<uint32_t> mosi;
  std::vector<uint32_t> miso;  // the flash's bytes; 0xFF where it drives nothing
  std::string record;          // after the sample index
};

class SpiFlashTest : public ProtocolsTest {
 public:
  // Sends the commands; the last is cut after cutAfter words when given.
  std::vector<ExpectedPacket> Send(const std::vector<Command>& commands, int mode, size_t cutAfter = 0) {
    Lines lines((1u << kSs) | (mode & 2 ? 1u << kSck : 0));
    SpiMaster host{lines, kSs, kSck, kMosi, kMiso, mode, 1e-6};
    std::vector<ExpectedPacket> expected;
    for (size_t n = 0; n < commands.size(); ++n) {
      const Command& c = commands[n];
      std::vector<uint32_t> miso = c.miso;
      miso.resize(c.mosi.size(), 0xFF);
      const uint32_t start = SampleAt(host.t, kRate);
      const bool cut = cutAfter && n + 1 == commands.size();
      const double wordEnd = host.t + host.half + cutAfter * 16 * host.half;
      host.Frame(c.mosi, miso, 8);
      std::vector<std::string> values;
      for (size_t w = 0; w < c.mosi.size() && !(cut && w == cutAfter); ++w) {
        values.push_back(Hex(miso[w], 2));
        values.push_back(Hex(c.mosi[w], 2));
      }
      expected.push_back({"FLASH," + std::to_string(start) + "," + c.record, values});
      if (cut) {
        // The capture ends with chip select still low.
        std::vector<uint32_t> words = lines.Render(kRate, 0);
        words.resize(SampleAt(wordEnd, kRate) + 2);
        Use(words, words.back());
        return expected;
      }
    }
    Use(lines.Render(kRate, 1e-5), lines.idle());
    return expected;
  }

  int32_t Decode() {
    return DecodeSPIVariable(samples_.data(), out(), 0, length(), 47, kSs, kSck, kMosi, kMiso, 1, 1, 1, 1, 1, 64, 8,
                             Definition("spi-flash"), packets(), error_);
  }
};

const std::vector<Command> kCommands = {
    {{0x9F, 0, 0, 0}, {0xFF, 0xEF, 0x40, 0x18}, "OPCODE,JEDEC_ID,MANUFACTURER,Winbond,TYPE,40,CAPACITY,18,"},
    {{0x06}, {}, "OPCODE,WRITE_ENABLE,"},
    {{0x20, 0x01, 0x20, 0x00}, {}, "OPCODE,SECTOR_ERASE_4K,ADDRESS,012000,"},
    {{0x05, 0, 0, 0}, {0xFF, 0x03, 0x03, 0x00}, "OPCODE,READ_STATUS,STATUS,03,"},
    {{0x02, 0x01, 0x20, 0x00, 1, 2, 3, 4, 5, 6}, {}, "OPCODE,PAGE_PROGRAM,ADDRESS,012000,DATA,01 02 03 04 05 06,"},
    {{0x03, 0x01, 0x20, 0x00, 0, 0, 0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6},
     "OPCODE,READ,ADDRESS,012000,DATA,01 02 03 04 05 06,"},
    {{0x0B, 0x01, 0x20, 0x04, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 5, 6},
     "OPCODE,FAST_READ,ADDRESS,012004,DATA,0506,"},
    {{0x13, 0x02, 0x00, 0x00, 0x10, 0}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x5A},
     "OPCODE,READ_4B,ADDRESS,02000010,DATA,5A,"},
    {{0xD8, 0x03, 0x00, 0x00}, {}, "OPCODE,BLOCK_ERASE_64K,ADDRESS,030000,"},
    {{0xC7}, {}, "OPCODE,CHIP_ERASE,"},
    {{0x01, 0x00, 0x02}, {}, "OPCODE,WRITE_STATUS,STATUS,0002,"},
    {{0xAB, 0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF, 0x17}, "OPCODE,RELEASE_POWER_DOWN,DEVICE,17,"},
    {{0xAB}, {}, "OPCODE,RELEASE_POWER_DOWN,"},
    // Unknown commands show their number and the host's bytes.
    {{0x77, 0xAA, 0x55}, {}, "OPCODE,77,MOSI,AA55,"},
    {{0xFE}, {}, "OPCODE,FE,"},
};

TEST_F(SpiFlashTest, CommandsInModes0And3) {
  for (int mode : {0, 3}) {
    SCOPED_TRACE(mode);
    const auto expected = Send(kCommands, mode);
    ASSERT_EQ(Decode(), 1) << error_;
    ExpectPackets(expected);
  }
}

TEST_F(SpiFlashTest, AReadCutByTheEndOfTheCapture) {
  // The end of the capture ends the open read: the bytes that came are shown.
  const std::vector<Command> commands = {
      kCommands[1],
      {{0x03, 0x00, 0x00, 0x40, 0, 0, 0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF, 9, 8, 7, 6, 5, 4},
       "OPCODE,READ,ADDRESS,000040,DATA,090807,"},
  };
  const auto expected = Send(commands, 0, 7);
  ASSERT_EQ(Decode(), 1) << error_;
  ExpectPackets(expected);
}

}  // namespace
}  // namespace tqla::test
