// Session files (.sr): our own round trip, hostile archives, and the
// analyzer suite's own command-line program as an independent reader and
// writer where it is installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "cli.h"
#include "session_file.h"
#include "test_support.h"
#include "tool_run.h"

#if TQLA_HAVE_LIBZIP
#include <zip.h>

namespace tqla::cli {
namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

// An archive of the given members in memory.
std::vector<uint8_t> Archive(const Members& members) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_source_keep(buffer);
  zip_t* zip = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  EXPECT_NE(zip, nullptr);
  for (const auto& [name, bytes] : members) {
    zip_source_t* s = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
    EXPECT_GE(zip_file_add(zip, name.c_str(), s, 0), 0);
  }
  EXPECT_EQ(zip_close(zip), 0);
  std::vector<uint8_t> out;
  zip_stat_t st;
  if (zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0) {
    out.resize(st.size);
    EXPECT_EQ(zip_source_read(buffer, out.data(), st.size), static_cast<zip_int64_t>(st.size));
    zip_source_close(buffer);
  }
  zip_source_free(buffer);
  zip_error_fini(&error);
  return out;
}

std::string Metadata(const std::string& device) { return "[global]\nsigrok version=0.5.2\n\n[device 1]\n" + device; }

Capture Read(const Members& members, uint64_t limit = kMaxCaptureSamples) {
  const std::vector<uint8_t> bytes = Archive(members);
  return ReadSessionArchive(bytes.data(), bytes.size(), "t.sr", limit);
}

TEST(SessionFile, RoundTripKeepsChannelsNamesRateAndScopeBytes) {
  test::TempDir dir;
  Capture capture;
  capture.rateHz = 24000000;
  capture.names[0] = "SCL";
  capture.names[15] = "strobe";
  // Every scope byte on CH1, its complement on CH2, a counter on the lines.
  for (uint32_t i = 0; i < 70000; ++i)
    capture.samples.push_back((i * 40503u & 0xFFFF) | (i & 0xFF) << 16 | (255 - (i & 0xFF)) << 24);
  const std::string path = dir.file("r.sr");
  for (const uint8_t channels : {uint8_t{kCh1InUse | kCh2InUse}, uint8_t{kCh2InUse}, uint8_t{0}}) {
    capture.analogChannels = channels;
    SaveSessionFile(path, capture, 5, 65541);
    const Capture back = LoadCapture(path);  // by its name
    EXPECT_EQ(back.rateHz, 24000000u);
    EXPECT_EQ(back.analogChannels, channels);
    EXPECT_EQ(back.names[0], "SCL");
    EXPECT_EQ(back.names[1], "d1");
    EXPECT_EQ(back.names[15], "strobe");
    ASSERT_EQ(back.samples.size(), 65536u);
    uint32_t mask = 0xFFFF;
    if (channels & kCh1InUse) mask |= 0xFF0000;
    if (channels & kCh2InUse) mask |= 0xFF000000;
    for (size_t i = 0; i < back.samples.size(); ++i)
      ASSERT_EQ(back.samples[i] & mask, capture.samples[i + 5] & mask) << "sample " << i;
  }
  EXPECT_THROW(SaveSessionFile("-", capture, 0, 10), UsageError);
}

TEST(SessionFile, ReadsOtherUnitSizesChunksAndRates) {
  // 8 channels in one byte over two chunks, as a small analyzer writes them.
  Capture c = Read({{"version", "2"},
                    {"metadata", Metadata("capturefile=logic-1\ntotal probes=8\nsamplerate=200 kHz\n"
                                          "probe1=CLK\nprobe3=D2\nunitsize=1\n")},
                    {"logic-1-1", std::string("\x01\x02", 2)},
                    {"logic-1-2", std::string("\xFF", 1)}});
  EXPECT_EQ(c.rateHz, 200000u);
  EXPECT_EQ(c.analogChannels, 0);
  EXPECT_EQ(c.names[0], "CLK");
  EXPECT_EQ(c.names[1], "");
  EXPECT_EQ(c.names[2], "D2");
  ASSERT_EQ(c.samples.size(), 3u);
  EXPECT_EQ(c.samples[0] & 0xFFFF, 0x01u);
  EXPECT_EQ(c.samples[2] & 0xFFFF, 0xFFu);
  // Four bytes a sample, the upper two unused; the rate as plain hertz.
  c = Read({{"version", "2"},
            {"metadata", Metadata("total probes=16\nsamplerate=1500000\nunitsize=4\n")},
            {"logic-1-1", std::string("\x34\x12\x00\x00\xCD\xAB\x00\x00", 8)}});
  EXPECT_EQ(c.rateHz, 1500000u);
  ASSERT_EQ(c.samples.size(), 2u);
  EXPECT_EQ(c.samples[0] & 0xFFFF, 0x1234u);
  EXPECT_EQ(c.samples[1] & 0xFFFF, 0xABCDu);
  // Version 1: one logic member; volts to the nearest scope step, clamped.
  const float volts[] = {0.0f, 0.08f, -20.0f, 50.0f};
  c = Read({{"version", "1"},
            {"metadata", Metadata("total probes=1\ntotal analog=1\nsamplerate=1 MHz\nanalog2=V\nunitsize=1\n")},
            {"logic-1", std::string(4, '\x01')},
            {"analog-1-2-1", std::string(reinterpret_cast<const char*>(volts), sizeof volts)}});
  EXPECT_EQ(c.analogChannels, kCh1InUse);
  ASSERT_EQ(c.samples.size(), 4u);
  EXPECT_EQ((c.samples[0] >> 16) & 0xFF, 128u);
  EXPECT_EQ((c.samples[1] >> 16) & 0xFF, 129u);
  EXPECT_EQ((c.samples[2] >> 16) & 0xFF, 0u);
  EXPECT_EQ((c.samples[3] >> 16) & 0xFF, 255u);
}

TEST(SessionFile, RefusesHostileArchivesWithAReason) {
  const std::string device = "total probes=2\nsamplerate=1 MHz\nunitsize=1\n";
  const std::string bomb(8u << 20, '\0');  // 8 MiB of zeros deflate to a few KiB
  const struct {
    Members members;
    const char* reason;
  } kCases[] = {
      {{{"metadata", Metadata(device)}, {"logic-1-1", "a"}}, "no version member"},
      {{{"version", "3"}, {"metadata", Metadata(device)}}, "version 3 is not supported"},
      {{{"version", "2"}, {"logic-1-1", "a"}}, "no metadata member"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=2\nunitsize=1\n")}}, "gives no sample rate"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=2\nsamplerate=fast\nunitsize=1\n")}},
       "'fast' is not a whole number of hertz"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=2\nsamplerate=5 GHz\nunitsize=1\n")}}, "up to 4 GHz"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=2\nsamplerate=1 MHz\nunitsize=5\n")}},
       "unit size '5' is not 1 to 4"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=2\nsamplerate=1 MHz\n")}}, "unit size '' is not"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=12\nsamplerate=1 MHz\nunitsize=1\n")}},
       "12 logic channels in 1 bytes"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=24\nsamplerate=1 MHz\nunitsize=3\n")}},
       "24 logic channels; tqla reads at most 16"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=99999999999999999999\nsamplerate=1 MHz\n")}},
       "damaged session file (channel counts"},
      {{{"version", "2"}, {"metadata", Metadata(device)}}, "no logic-1 samples"},
      {{{"version", "2"}, {"metadata", Metadata("total probes=9\nsamplerate=1 MHz\nunitsize=2\n")}, {"logic-1-1", "abc"}},
       "end inside a sample of 2 bytes"},
      {{{"version", "2"}, {"metadata", Metadata(device)}, {"logic-1-1", bomb}}, "more than 1048576 samples"},
      {{{"version", "2"},
        {"metadata", Metadata("total probes=1\ntotal analog=1\nsamplerate=1 MHz\nunitsize=1\nanalog2=A\n")},
        {"logic-1-1", "ab"},
        {"analog-1-2-1", std::string(12, '\0')}},
       "more samples than the logic channels"},
      {{{"version", "2"}, {"metadata", std::string(2u << 20, '#')}}, "metadata member is larger than 1 MiB"},
      {{{"version", "2"}, {"metadata", Metadata("samplerate=1 MHz\n")}}, "holds no samples"},
  };
  for (const auto& c : kCases) {
    const std::string message = Thrown([&] { Read(c.members, 1u << 20); });
    EXPECT_NE(message.find(c.reason), std::string::npos) << c.reason << ": " << message;
  }
  // Not an archive, and an archive cut short.
  const std::vector<uint8_t> whole = Archive({{"version", "2"}, {"metadata", Metadata(device)}, {"logic-1-1", "ab"}});
  for (const size_t size : {size_t{0}, size_t{30}, whole.size() - 10}) {
    EXPECT_THROW(ReadSessionArchive(whole.data(), size, "t.sr"), CliError) << size;
  }
  const std::string text = "version 2";
  EXPECT_THROW(ReadSessionArchive(reinterpret_cast<const uint8_t*>(text.data()), text.size(), "t.sr"), CliError);
}

TEST(SessionFile, EveryCommandThatTakesACaptureTakesOne) {
  test::TempDir dir;
  ASSERT_EQ(Tool(dir, "demo --out d").status, 0);
  ASSERT_EQ(Tool(dir, "export -O sr -o d.sr --from 1000 --to 66536 d/demo.tqc").status, 0);
  // Under a name that does not say so, it is known by its content.
  std::filesystem::copy_file(dir.file("d.sr"), dir.file("session.bin"));
  const ToolRun sr = Tool(dir, "decode i2c session.bin");
  ASSERT_EQ(sr.status, 0) << sr.err;
  // The same bytes as the window of the capture it came from.
  const std::vector<std::string> bytes = RecordHexBytes(sr.out);
  EXPECT_GT(bytes.size(), 100u);
  EXPECT_EQ(bytes, RecordHexBytes(Tool(dir, "decode i2c --from 1000 --to 66536 d/demo.tqc").out));
  EXPECT_EQ(Tool(dir, "render -o r.svg d.sr").status, 0);
  EXPECT_EQ(Tool(dir, "export -O text -o t.txt d.sr").status, 0);
  const ToolRun generate = Tool(dir, "--sim generate --once d.sr");
  EXPECT_EQ(generate.status, 0) << generate.err;
}

// The analyzer suite's command-line program, or a note why the test skips.
bool HaveOracle() { return std::system("sigrok-cli --version >/dev/null 2>&1") == 0; }

TEST(SessionFile, TheSuitesOwnProgramReadsOursAndWritesWhatWeRead) {
  if (!HaveOracle()) GTEST_SKIP() << "sigrok-cli is not installed (apt-get install sigrok-cli): no independent check";
  test::TempDir dir;
  ASSERT_EQ(Tool(dir, "demo --out d").status, 0);
  ASSERT_EQ(Tool(dir, "export -O sr -o d.sr --to 100000 d/demo.tqc").status, 0);
  const ToolRun ours = Tool(dir, "decode i2c --to 100000 d/demo.tqc");
  ASSERT_EQ(ours.status, 0) << ours.err;
  // Its I2C decoder over our file finds the same bytes: the address byte as
  // it travels (7-bit address and the write bit) and every data byte.
  ASSERT_EQ(std::system(("sigrok-cli -i '" + dir.file("d.sr") +
                         "' -P i2c:scl=d0:sda=d1 -A i2c=address-read:address-write:data-read:data-write >'" +
                         dir.file("theirs.txt") + "' 2>&1")
                            .c_str()),
            0);
  const std::string theirs = Text(dir.file("theirs.txt"));
  std::vector<std::string> theirBytes;
  std::istringstream lines(theirs);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, std::regex("(Address (read|write)|Data (read|write)): ([0-9A-F]{2})"))) continue;
    unsigned value = std::stoul(m[4].str(), nullptr, 16);
    if (m[1].str().rfind("Address", 0) == 0) value = value << 1 | (m[2].str() == "read");
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", value);
    theirBytes.push_back(hex);
  }
  const std::vector<std::string> ourBytes = RecordHexBytes(ours.out);
  ASSERT_GT(ourBytes.size(), 20u);
  EXPECT_EQ(theirBytes, ourBytes);

  // Its file from our VCD reads back with the channels and the rate.
  ASSERT_EQ(Tool(dir, "export -O vcd -o d.vcd --to 100000 d/demo.tqc").status, 0);
  ASSERT_EQ(std::system(("sigrok-cli -I vcd -i '" + dir.file("d.vcd") + "' -O srzip -o '" + dir.file("v.sr") +
                         "' >/dev/null 2>&1")
                            .c_str()),
            0);
  const Capture original = LoadCapture(dir.file("d/demo.tqc"));
  const Capture converted = LoadCapture(dir.file("v.sr"));
  EXPECT_EQ(converted.rateHz, original.rateHz);
  ASSERT_GE(converted.samples.size(), 99999u);
  for (size_t i = 0; i < 99999; ++i)
    ASSERT_EQ(converted.samples[i] & 0xFFFF, original.samples[i] & 0xFFFF) << "sample " << i;
  const ToolRun back = Tool(dir, "decode i2c --to 99999 v.sr");
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(RecordHexBytes(back.out), RecordHexBytes(Tool(dir, "decode i2c --to 99999 d/demo.tqc").out));

  // Its demonstration device samples at a rate the decoders do not take.
  ASSERT_EQ(std::system(("sigrok-cli -d demo --samples 1000 -o '" + dir.file("demo.sr") + "' >/dev/null 2>&1").c_str()),
            0);
  ExpectFailures(dir, {{"decode i2c demo.sr", "sampled at 200 kHz; the decoders take 1, 2, 3, 4, 6, 8, 12, 16 or 24 MHz"},
                       {"export -O sr d/demo.tqc", "a session file (-O sr) needs -o FILE"}});
  EXPECT_EQ(Tool(dir, "export -O csv -o demo.csv demo.sr").status, 0) << "other commands take any rate";
}

}  // namespace
}  // namespace tqla::cli

#endif
