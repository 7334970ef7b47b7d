// The decoder frame: timestamps, range clamps, failures and the merge.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <random>

#include "decoders_fixture.h"
#include "frame/sample_buffer.h"
#include "packets/packets_state.h"
#include "waveforms.h"

namespace tqla::test {
namespace {

using decoders::FormatTimestamp;

TEST(Timestamp, UnitRangesInBothModes) {
  sampleBuffer.TriggerIndex = 12;
  decoderState.TimestampRelative = 0;
  const struct {
    uint32_t sample;
    const char* text;
  } absolute[] = {{0, "-500.0ns,"},  {36, "  1.0us,"},    {12 + 24000, "  1.0000ms,"},
                  {12 + 24000000, "  1.0000000s ,"}, {12 + 23, "958.3ns,"}};
  for (const auto& c : absolute) EXPECT_STREQ(FormatTimestamp(c.sample, 24000000), c.text) << c.sample;

  StartTimestamp(1);
  const struct {
    uint32_t sample;
    const char* text;
  } relative[] = {{500, "+  0.0ns,"}, {524, "+  1.0us,"}, {24524, "+  1.0000ms,"}, {24024524, "+  1.0000000s ,"},
                  {24024512, "+-500.0ns,"}};
  for (const auto& c : relative) EXPECT_STREQ(FormatTimestamp(c.sample, 24000000), c.text) << c.sample;
  sampleBuffer.TriggerIndex = 0;
  decoderState.TimestampRelative = 0;
}

// SDA on channel 0, SCL on channel 1: a START (SDA falls with SCL high) at a
// chosen sample in an idle bus.
std::vector<uint32_t> StartAt(size_t index, size_t length) {
  std::vector<uint32_t> words(length, 3);
  for (size_t k = index; k < length; ++k) words[k] = 2;
  return words;
}

class FrameTest : public DecodersTest {
 protected:
  int32_t I2c(int32_t start, int32_t end, char* protocolFile = nullptr) {
    return DecodeI2C(samples_.data(), out(), start, end, TQLA_RATE_24MHZ, 0, 1, 1, TQLA_DELIMITER_COMMA, 1,
                     TQLA_FORMAT_HEX, protocolFile, packets(), error_);
  }
};

TEST_F(FrameTest, HeaderAndNameAndRangeClamps) {
  DecodeSetName(const_cast<char*>("I2C"));
  samples_ = StartAt(24, 100);
  UseHostBuffer(samples_, 100);
  ASSERT_EQ(I2c(0, 100), 1);
  EXPECT_EQ(Read("records.txt"), "  1.0us, I2C, [S] ");
  EXPECT_EQ(packets::streamPosition.RecordOffset, 18u);
  EXPECT_EQ(packets::streamPosition.DecoderSampleRate, 24000000u);
  ASSERT_EQ(I2c(100, -5), 1);  // reversed, negative start becomes 1
  EXPECT_EQ(Read("records.txt"), "  1.0us, I2C, [S] ");

  // The end clamps to length - 2: the last sample decoded is length - 3.
  samples_ = StartAt(97, 100);
  ASSERT_EQ(I2c(0, 5000), 1);
  EXPECT_EQ(Read("records.txt"), "  4.0us, I2C, [S] ");
  samples_ = StartAt(98, 100);
  ASSERT_EQ(I2c(0, 5000), 1);
  EXPECT_EQ(Read("records.txt"), "");
  DecodeSetName(nullptr);
  EXPECT_STREQ(decoderState.DecoderName, "");
}

TEST_F(FrameTest, EmptyProtocolPathRunsWithoutPacketEngine) {
  samples_ = StartAt(24, 100);
  UseHostBuffer(samples_, 100);
  ASSERT_EQ(I2c(0, 100, const_cast<char*>("")), 1);
  EXPECT_FALSE(std::filesystem::exists(packetPath_));
}

TEST_F(FrameTest, BadInputFailsCleanlyInEveryDecoder) {
  samples_ = StartAt(24, 100);
  UseHostBuffer(samples_, 100);
  std::string missing = dir_.file("no/such/folder/records.txt");
  auto* bad = reinterpret_cast<uint8_t*>(missing.data());
  using Decoder = std::function<int32_t(uint32_t*, uint8_t*, int32_t, char*)>;
  const Decoder decoders[] = {
      [&](uint32_t* s, uint8_t* o, int32_t rate, char* p) {
        return DecodeI2C(s, o, 0, 90, rate, 0, 1, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX, p, packets(), error_);
      },
      [&](uint32_t* s, uint8_t* o, int32_t rate, char* p) {
        return DecodeSPIVariable(s, o, 0, 90, rate, 0, 1, 2, 3, 1, 1, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 1, 4, 8, p,
                                 packets(), error_);
      },
      [&](uint32_t* s, uint8_t* o, int32_t rate, char* p) {
        return DecodeASYNC(s, o, 0, 90, rate, 3, 9600, TQLA_PARITY_NONE, 8, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 8,
                           p, packets(), error_);
      },
  };
  char* unparsable = protocol("[PROTOCOL]\nNAME = P\n[START]\nBOGUS\n");
  for (const Decoder& decode : decoders) {
    EXPECT_EQ(decode(nullptr, out(), 247, nullptr), 0);
    EXPECT_STREQ(error_, "No sample words to decode");
    EXPECT_EQ(decode(samples_.data(), out(), 25, nullptr), 0);
    EXPECT_STREQ(error_, "Unknown sample rate code 25");
    EXPECT_EQ(decode(samples_.data(), bad, 247, nullptr), 0);
    EXPECT_STREQ(error_, "Can not open output file");
    std::filesystem::remove(outPath_);
    EXPECT_EQ(decode(samples_.data(), out(), 247, unparsable), 0);
    EXPECT_STREQ(error_, "Unknown keyword BOGUS in START section");
    EXPECT_NE(Console().find("Error initializing RedodoRovodovoz: Unknown keyword BOGUS in START section\nExiting.\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(outPath_));
    // An empty buffer leaves nothing to walk.
    SetCurrentBuffer(samples_.data(), 0, 0);
    EXPECT_EQ(decode(samples_.data(), out(), 247, nullptr), 1);
    EXPECT_EQ(Read("records.txt"), "");
    UseHostBuffer(samples_, 100);
  }
  EXPECT_EQ(DecodeSPI(samples_.data(), bad, 0, 90, TQLA_RATE_24MHZ, 0, 1, 2, 3, 1, 1, TQLA_DELIMITER_COMMA,
                      TQLA_FORMAT_HEX, 1, 4, nullptr, nullptr, nullptr),
            0);
  EXPECT_NE(Console().find("Can not open output file\n"), std::string::npos);
}

TEST_F(FrameTest, RecordFileOnAFullDiskFailsTheRun) {
  samples_ = StartAt(24, 100);
  UseHostBuffer(samples_, 100);
  std::string full = "/dev/full";
  auto* records = reinterpret_cast<uint8_t*>(full.data());
  EXPECT_EQ(DecodeI2C(samples_.data(), records, 0, 90, TQLA_RATE_24MHZ, 0, 1, 1, TQLA_DELIMITER_COMMA, 1,
                      TQLA_FORMAT_HEX, nullptr, nullptr, error_),
            0);
  EXPECT_STREQ(error_, "Can not write output file: No space left on device");
  // Sixteen clocks on channel 0 make two 8-bit words without chip select.
  std::vector<uint32_t> clock(70);
  for (size_t k = 0; k < clock.size(); ++k) clock[k] = (k / 2) & 1;
  UseHostBuffer(clock, 70);
  DecodeSPI(clock.data(), records, 0, 68, TQLA_RATE_24MHZ, 5, 0, 1, 2, 1, 1, TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0,
            1, nullptr, nullptr, nullptr);
  EXPECT_NE(Console().find("Can not write output file: No space left on device\n"), std::string::npos) << Console();
}

// The sample buffer's own storage bounds every read, even when BufferLength
// claims more words.
TEST_F(FrameTest, ReadsStayInsideStorage) {
  ScopedBuffer buffer(65536);
  for (uint32_t k = 0; k < 65536; ++k) buffer[k] = (k / 7) & 1 ? 0xFFFF : 0;
  sampleBuffer.BufferLength = 1u << 30;
  EXPECT_EQ(DecodeASYNC(buffer.get(), out(), 0, 1 << 30, TQLA_RATE_1MHZ, 0xFFFF, 9600, TQLA_PARITY_NONE, 8,
                        TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 8, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(DecodeI2C(buffer.get(), out(), 0, 1 << 30, TQLA_RATE_1MHZ, 0, 1, 1, TQLA_DELIMITER_COMMA, 1,
                      TQLA_FORMAT_HEX, nullptr, nullptr, error_),
            1);
  EXPECT_EQ(DecodeSPIVariable(buffer.get(), out(), 0, 1 << 30, TQLA_RATE_1MHZ, 0, 1, 2, 3, 1, 1, TQLA_DELIMITER_COMMA,
                              TQLA_FORMAT_HEX, 1, 4, 8, nullptr, nullptr, error_),
            1);
  sampleBuffer.BufferLength = 65536;
}

// Packet offsets are byte offsets into the record file as written: every
// packet's start and end land at its first and last value, however many
// record lines come before it, in every decoder and in a higher layer.
TEST_F(FrameTest, PacketOffsetsPointAtTheirValuesInTheRecordFile) {
  const std::string bytes = "[PROTOCOL]\nNAME = B\n[START]\nTYPE = NEXT\n[END]\nTYPE = LENGTH\nBYTELENGTH = 3\n"
                            "[FIELDS]\nFIELDS X.N.H\n[DEBUG]\nDEBUGON\n";
  const std::string layered = "[PROTOCOL]\nNAME = LINK\n[START]\nTYPE = NEXT\n[END]\nTYPE = LENGTH\n"
                              "BYTELENGTH = 2\n[FIELDS]\nFIELDS HDR.8.H CMD.8.H\n"
                              "[PROTOCOL]\nNAME = CMD\n[START]\nTYPE = NEXT\n[END]\nTYPE = EVENT\n"
                              "EVENT = 127\n[FIELDS]\nFIELDS A.8.H\n[DEBUG]\nDEBUGON\n";
  std::mt19937 random(16);
  {
    Lines lines(3);
    I2cMaster bus{lines, 0, 1, 1 / (4 * 400e3)};
    for (int n = 0; n < 6; ++n) {
      bus.Start();
      for (int k = 0; k < 4; ++k) bus.Byte(static_cast<uint8_t>(random()), true);
      bus.Stop();
    }
    Use(lines.Render(24e6, 2e-5), 3);
    for (int markers : {1, 0}) {
      ASSERT_EQ(
          DecodeI2C(samples_.data(), out(), 0, length(), TQLA_RATE_24MHZ, 0, 1, 1, TQLA_DELIMITER_COMMA, markers,
                    TQLA_FORMAT_HEX, protocol(EventProtocol(TQLA_EVENT_START, TQLA_EVENT_STOP)), packets(), error_),
          1);
      EXPECT_EQ(ExpectPacketOffsetsInRecords(*this), 6) << "markers " << markers;
    }
  }
  {
    Lines lines(1);
    SpiMaster bus{lines, 0, 1, 2, 3, 0, 0.5e-6};
    for (int n = 0; n < 5; ++n) bus.Frame({uint32_t(random() & 0xFF), uint32_t(random() & 0xFF), 0x5A}, {1, 2, 3}, 8);
    Use(lines.Render(24e6, 1e-5), 1);
    ASSERT_EQ(DecodeSPIVariable(samples_.data(), out(), 0, length(), TQLA_RATE_24MHZ, 0, 1, 2, 3, 1, 1,
                                TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 1, 2, 8, protocol(bytes), packets(), error_),
              1);
    EXPECT_EQ(ExpectPacketOffsetsInRecords(*this), 7);
  }
  Lines lines(1);
  double t = 1e-4;
  for (int n = 0; n < 24; ++n) t = SendCharacter(lines, 0, t, 115200, random() & 0xFFu, 8, false) + 3e-5;
  Use(lines.Render(24e6, 1e-4), 1);
  for (const std::string& p : {bytes, layered}) {
    ASSERT_EQ(DecodeASYNC(samples_.data(), out(), 0, length(), TQLA_RATE_24MHZ, 1, 115200, TQLA_PARITY_NONE, 8,
                          TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 0, 5, protocol(p), packets(), error_),
              1);
    EXPECT_EQ(ExpectPacketOffsetsInRecords(*this), p == bytes ? 8 : 24);
  }
}

class MergeTest : public DecodersTest {
 protected:
  std::string folder() { return dir_.path().string() + "/"; }
  // Per-channel record files as decoders write them, with CR LF line ends.
  void WriteRecords(const std::string& name, const std::string& text) {
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(name, crlf);
  }
};

TEST_F(MergeTest, TimestampOrderFileOrderOnTiesAndLinesWithoutKey) {
  WriteRecords("out0.txt", "\n  2.0us, A, x\n  1.0000ms, A, y");
  WriteRecords("out3.txt", "  2.0us, B, z\n500.0ns, B, w\n");
  WriteRecords("out7.txt", "+  0.0ns, C, v\nno time here\n-  1.0us, C, u\n");
  CombineAndSort(reinterpret_cast<uint8_t*>(folder().data()));
  EXPECT_EQ(Read("out.txt"),
            "\n+  0.0ns, C, v\nno time here\n-  1.0us, C, u\n  2.0us, A, x\n  2.0us, B, z\n500.0ns, B, w\n"
            "  1.0000ms, A, y\n");
}

TEST_F(MergeTest, PacketFilesBySecondField) {
  WriteRecords("testout2.txt", "P,20,a,EoP\nP,4294967295,b,\n");
  WriteRecords("testout1.txt", "Q,20,c,\nno comma\nQ,30,d\n");
  // Inputs that are not regular files would never end (or never open): none is read.
  std::filesystem::create_symlink("/dev/zero", dir_.path() / "testout5.txt");
  ASSERT_EQ(mkfifo((dir_.path() / "testout6.txt").c_str(), 0600), 0);
  CombineAndSortPP(reinterpret_cast<uint8_t*>(folder().data()));
  EXPECT_EQ(Read("testout.txt"), "Q,20,c,\nno comma\nP,20,a,EoP\nQ,30,d\nP,4294967295,b,\n");
  CombineAndSortPP(nullptr);
}

}  // namespace
}  // namespace tqla::test
