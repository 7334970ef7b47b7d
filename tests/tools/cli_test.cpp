// The command framework, and the built tool run end to end.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "capture.h"
#include "cli.h"
#include "test_support.h"
#include "tool_run.h"

namespace tqla::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"format", 'O', "FORMAT", ""},
    {"from", 0, "N", ""},
    {"quiet", 'q', nullptr, ""},
};
constexpr CommandSpec kSpec = {"t", "[-O F] FILE", "", kOptions, 1, 1};

ParsedArgs Parse(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  return ParseArgs(kSpec, static_cast<int>(argv.size()), argv.data());
}

TEST(CliArgs, AcceptsTheUsualSpellings) {
  for (const auto& words : std::vector<std::vector<std::string>>{
           {"-O", "csv", "--from", "5", "f"}, {"-Ocsv", "--from=5", "f"}, {"f", "--format=csv", "--from", "5"}}) {
    const ParsedArgs a = Parse(words);
    EXPECT_EQ(a.Value("format"), "csv");
    EXPECT_EQ(a.Unsigned("from", 0), 5u);
    EXPECT_EQ(a.positional, std::vector<std::string>{"f"});
  }
  EXPECT_TRUE(Parse({"-q", "--", "-f"}).Has("quiet"));
  EXPECT_EQ(Parse({"--", "-f"}).positional, std::vector<std::string>{"-f"});
  EXPECT_EQ(Parse({"-"}).positional, std::vector<std::string>{"-"});
  EXPECT_TRUE(Parse({"--help"}).help) << "help needs no positional argument";
}

TEST(CliArgs, RefusesWhatItCannotUnderstand) {
  const struct {
    std::vector<std::string> words;
    const char* message;
  } kCases[] = {
      {{"--bogus", "f"}, "unknown option '--bogus'"},
      {{"-x", "f"}, "unknown option '-x'"},
      {{"f", "--from"}, "--from needs a value (N)"},
      {{"--quiet=1", "f"}, "--quiet takes no value"},
      {{}, "missing argument"},
      {{"f", "g"}, "unexpected argument 'g'"},
      {{"--from", "5x", "f"}, "'5x' is not a whole number"},
      {{"--from", "-1", "f"}, "'-1' is not a whole number"},
  };
  for (const auto& c : kCases) {
    const std::string message = Thrown<UsageError>([&] { Parse(c.words).Unsigned("from", 0); });
    EXPECT_NE(message.find(c.message), std::string::npos) << c.message << ": " << message;
  }
  EXPECT_THROW(ParseUnsigned("--n", "99999999999999999999"), UsageError);
  EXPECT_THROW(ParseSigned("--n", "11", -10, 10), UsageError);
  EXPECT_EQ(ParseSigned("--n", "-10", -10, 10), -10);
}

// The two sample rows after the header of an export of two samples.
std::pair<std::string, std::string> TwoRows(const std::string& exported) {
  std::istringstream rows(exported);
  std::string header, first, second;
  std::getline(rows, header);
  std::getline(rows, first);
  std::getline(rows, second);
  return {first, second};
}

TEST(CliTool, DemoCapturesOnASimulatedPodAndDecodesItsTraffic) {
  test::TempDir dir;
  const ToolRun demo = Tool(dir, "demo --out d");
  ASSERT_EQ(demo.status, 0) << demo.err;
  std::istringstream lines(demo.out);
  int files = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("d/", 0) != 0) continue;
    const std::string path = line.substr(0, line.find(':'));
    EXPECT_GT(std::filesystem::file_size(dir.file(path)), 0u) << line;
    ++files;
  }
  EXPECT_EQ(files, 6);
  EXPECT_NE(demo.out.find(", I2C, [S] A0,Write ACK "), std::string::npos) << demo.out;
  EXPECT_NE(demo.out.find(", SPI, MISO,MOSI: FF, 00, FE, 01, FD, 02, FC, 03, "), std::string::npos) << demo.out;
  EXPECT_NE(demo.out.find(", UART, CH6 tqla demo pod "), std::string::npos) << demo.out;
  EXPECT_NE(demo.out.find("d/loopback.csv: 65536 samples at 1000000 Hz on 16 lines, played once; 0 underruns\n"
                          "loopback: 65536 samples generated and captured back, all match\n"),
            std::string::npos)
      << demo.out;

  // The capture triggered where SDA (d1) falls while SCL (d0) is high.
  const size_t at = demo.out.find("I2C start at sample ");
  ASSERT_NE(at, std::string::npos);
  const uint64_t trigger = std::stoull(demo.out.substr(at + 20));
  const ToolRun edge =
      Tool(dir, "export -O csv --from " + std::to_string(trigger - 1) + " --to " + std::to_string(trigger + 1) + " d/demo.tqc");
  ASSERT_EQ(edge.status, 0) << edge.err;
  const auto [before, after] = TwoRows(edge.out);
  EXPECT_EQ(before.substr(before.find(','), 5), ",1,1,");
  EXPECT_EQ(after.substr(after.find(','), 5), ",1,0,");
}

TEST(CliTool, DemoOfStreamsTrafficAndItsDecoderOptions) {
  test::TempDir dir;
  const ToolRun demo = Tool(dir, "demo --traffic streams --out s");
  ASSERT_EQ(demo.status, 0) << demo.err;
  for (const char* record : {", 1-Wire, Presence Pulse 33,28,5A,3C,71,0B,00,00,BC,\n", ", I2S, 2341,11769,\n",
                             ", SER, 100,000,005,05A,\n", ", PAR, 74,71,6C,61,20,70,61,72,"}) {
    EXPECT_NE(demo.out.find(record), std::string::npos) << record << " in " << demo.out;
  }
  // Pattern mode on the address word, least significant bit first, blanks.
  const ToolRun sync = Tool(dir, "decode serial --sync 0x100 -o p.txt s/streams.tqc");
  ASSERT_EQ(sync.status, 0) << sync.err;
  const std::string records = test::ReadCrLfText(dir.file("p.txt"));
  EXPECT_EQ(records.substr(records.find(", , ") + 4, 17), "100,000,005,05A,\n") << records.substr(0, 100);
  ExpectFailures(dir, {{"demo --traffic bogus",
                        "no simulated traffic named 'bogus' (demo, fieldbus, streams, protocols)"},
                       {"decode serial -f dec s/streams.tqc", "serial writes hex values only"},
                       {"decode 1wire -f char s/streams.tqc", "1wire writes hex or dec values only"},
                       {"decode i2s -d none s/streams.tqc", "--delimiter none is for async only"},
                       {"decode serial --sync zz s/streams.tqc", "--sync: 'zz' is not a hexadecimal pattern"},
                       {"decode serial --sync 200 s/streams.tqc", "Sync pattern 200 does not fit in 9 bits"},
                       {"decode i2s --bits 0 s/streams.tqc", "Bits per word must be 1 to 32"},
                       {"decode parallel --channels 9-3 s/streams.tqc", "--channels: 9-3 runs backwards"},
                       {"decode parallel --clock 8 s/streams.tqc", "Clock channel 8 is on the bus"},
                       {"decode parallel --edge up s/streams.tqc", "--edge does not take up"}});
}

// A window of a capture: the rows it names, timed from sample 0; the writers
// themselves have tests of their own.
TEST(CliTool, ExportAndRenderAWindow) {
  test::TempDir dir;
  Capture capture;
  for (uint32_t i = 0; i < 1000; ++i) capture.samples.push_back(i);
  SaveCapture(dir.file("c.tqc"), capture);
  const ToolRun csv = Tool(dir, "export -O csv --from 10 --to 13 c.tqc");
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::istringstream rows(csv.out);
  std::string row;
  std::getline(rows, row);
  EXPECT_EQ(row.rfind("time,d0,d1,", 0), 0u);
  for (uint32_t i = 10; i < 13; ++i) {
    ASSERT_TRUE(std::getline(rows, row));
    std::string digits;
    for (int b = 0; b < 16; ++b) digits += (i >> b) & 1 ? ",1" : ",0";
    EXPECT_EQ(row.rfind("0.0000" + std::to_string(i) + digits + ",", 0), 0u) << row;
  }
  EXPECT_FALSE(std::getline(rows, row));

  const ToolRun text = Tool(dir, "export -O text --to 2 c.tqc");
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out.substr(0, 22), "Digital0-F, CH1, CH2\n0");
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 3);

  const ToolRun svg = Tool(dir, "render --start 100 --samples 50 --width 100 -o w.svg c.tqc");
  EXPECT_EQ(svg.status, 0) << svg.err;
  EXPECT_EQ(svg.out, "");
  EXPECT_GT(std::filesystem::file_size(dir.file("w.svg")), 0u);
}

TEST(CliTool, MessagesHelpAndTrace) {
  test::TempDir dir;
  test::WriteAll(dir.file("foreign.tqc"), std::vector<uint8_t>(300, 7));
  ExpectFailures(dir, {
      {"", "no command given"},
      {"frobnicate", "unknown command 'frobnicate'"},
      {"export missing.tqc", "missing.tqc: no such file"},
      {"export foreign.tqc", "foreign.tqc: not a tqla capture file"},
      {"export -O pdf foreign.tqc", "unknown format 'pdf'"},
      {"render --samples 5 --scale 9 foreign.tqc", "not both"},
      {"render --scale 0 foreign.tqc", "--scale must be at least 1"},
                      });
  const ToolRun verbose = Tool(dir, "--verbose demo --out v");
  EXPECT_EQ(verbose.status, 0);
  EXPECT_NE(verbose.err.find("trace: StartCapture()\n"), std::string::npos) << verbose.err;
  for (const char* help : {"--help", "demo --help", "export --help", "render -h"}) {
    const ToolRun r = Tool(dir, help);
    EXPECT_EQ(r.status, 0) << help;
    EXPECT_EQ(r.out.rfind("usage: tqla", 0), 0u) << help;
  }
}


TEST(CliTool, PacketsCheckShowsTheModelOrTheParserError) {
  test::TempDir dir;
  test::WriteAll(dir.file("layers.txt"),
                 [] {
                   const std::string t =
                       "[PROTOCOL]\nNAME = LINK\n[END]\nTYPE = LENGTH\nBYTELENGTH = 3\n"
                       "[FIELDS]\nFIELDS HDR.8.H CMD.16.I\n";
                   return std::vector<uint8_t>(t.begin(), t.end());
                 }());
  const ToolRun check = Tool(dir, "packets check layers.txt");
  ASSERT_EQ(check.status, 0) << check.err;
  EXPECT_NE(check.out.find("protocol 0: LINK"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("fields 1: HDR.8 CMD.16 (hidden)"), std::string::npos) << check.out;
  EXPECT_EQ(check.out.find("Token:"), std::string::npos);  // the parser's trace only on request
  EXPECT_NE(Tool(dir, "packets check --trace layers.txt").out.find("Token:"), std::string::npos);

  const std::string bad = "[PROTOCOL]\nNAME = LINK\n[PACKET]\nLENGTH = 3\n";
  test::WriteAll(dir.file("bad.txt"), std::vector<uint8_t>(bad.begin(), bad.end()));
  const ToolRun rejected = Tool(dir, "packets check bad.txt");
  EXPECT_EQ(rejected.status, 1);
  EXPECT_EQ(rejected.err, "tqla packets: bad.txt: Unknown keyword LENGTH in PACKET section\n");

  const ToolRun missing = Tool(dir, "packets check none.txt");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.txt: "), std::string::npos) << missing.err;
  EXPECT_EQ(Tool(dir, "packets frob x").status, 1);
}

TEST(CliTool, PacketsShowListsEveryPacketWithItsOffsets) {
  test::TempDir dir;
  const std::string records = "LINK,100,HDR,A5,EoP, ,0,12\nLINK,200,HDR,5A,EoP, ,12,24\n";
  test::WriteAll(dir.file("packets.txt"), std::vector<uint8_t>(records.begin(), records.end()));
  const ToolRun show = Tool(dir, "packets show packets.txt");
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_EQ(show.out,
            "0:  LINK=100  HDR=A5  [offsets 0..12]\n"
            "1:  LINK=200  HDR=5A  [offsets 12..24]\n"
            "2 packets\n");
  test::WriteAll(dir.file("empty.txt"), {});
  ExpectFailures(dir, {
      {"packets show empty.txt", "empty.txt: no packet records"},
      {"packets show .", ".: not a regular file"},
      {"packets check .", ".: not a regular file"},
                      });
  // A label longer than any lookup buffer is shown cut to the documented size.
  const std::string huge = "LINK,1," + std::string(70000, 'L') + ",v,EoP, ,0,1\n";
  test::WriteAll(dir.file("huge.txt"), std::vector<uint8_t>(huge.begin(), huge.end()));
  const ToolRun cut = Tool(dir, "packets show huge.txt");
  ASSERT_EQ(cut.status, 0) << cut.err;
  EXPECT_NE(cut.out.find("  " + std::string(TQLA_PACKET_TEXT_SIZE - 1, 'L') + "=v  [offsets 0..1]"), std::string::npos);
}


TEST(CliTool, PodCommandsOnSimulatedPods) {
  test::TempDir dir;
  const ToolRun none = Tool(dir, "list");
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out, "0 pods\n");

  const ToolRun two = Tool(dir, "--sim=7 --sim=9 list");
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(two.out,
            "pod 7: Digital FX2 high speed, Analog FX2 high speed\n"
            "pod 9: Digital FX2 high speed, Analog FX2 high speed\n"
            "2 pods\n");

  const ToolRun selftest = Tool(dir, "--sim selftest");
  EXPECT_EQ(selftest.status, 0) << selftest.err;
  EXPECT_NE(selftest.out.find(": Found FX2 attached to High Speed Port\n"), std::string::npos) << selftest.out;
  EXPECT_TRUE(std::filesystem::exists(dir.file("tqlog.txt")));

  // The simulated pod's EEPROM holds identity calibration: gain 0.078125 and
  // offset 128 with 24 fraction bits.
  const ToolRun read = Tool(dir, "--sim eeprom read -a 0x60 -n 16");
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out, "0060: 00 00 14 00 00 00 14 00 00 00 00 80 00 00 00 80\n");
  const ToolRun write = Tool(dir, "--sim=3 eeprom write --pod 3 -a 200 --hex 0102A0ff");
  EXPECT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(write.out, "wrote 4 bytes at 200\n");

  ExpectFailures(dir, {
      {"eeprom read", "no pod found: attach one, or add --sim"},
      {"--sim eeprom read --pod 5", "cannot open pod 5"},
      {"--sim eeprom write -a 1", "write needs --hex or --input"},
      {"--sim eeprom write --hex 123", "pairs of hexadecimal digits"},
      {"--sim eeprom read -a 65530 -n 16", "passes the end of the EEPROM"},
      {"--sim=x list", "--sim"},
                      });
}


// One I2C write at 1 MHz with 10 samples per clock half: SCL on channel 0,
// SDA on channel 1, the simulated pod's demonstration wiring.
std::vector<uint32_t> I2cWrite(const std::vector<uint8_t>& bytes) {
  std::vector<uint32_t> words;
  auto put = [&](int scl, int sda, int count) { words.insert(words.end(), count, scl | sda << 1); };
  put(1, 1, 20);
  put(1, 0, 10);  // START at sample 20
  put(0, 0, 5);
  auto bit = [&](int sda) {
    put(0, sda, 5);
    put(1, sda, 10);
    put(0, sda, 5);
  };
  for (uint8_t byte : bytes) {
    for (int b = 7; b >= 0; --b) bit((byte >> b) & 1);
    bit(0);  // ACK
  }
  put(1, 0, 10);
  put(1, 1, 20);  // STOP
  return words;
}

// The I2C write saved as a capture at 1 MHz.
void SaveI2cWrite(const std::string& path, const std::vector<uint8_t>& bytes, std::optional<uint32_t> trigger = {}) {
  Capture capture;
  capture.samples = I2cWrite(bytes);
  capture.rateHz = 1000000;
  capture.trigger = trigger;
  SaveCapture(path, capture);
}

// Records to a file (the library's record file, byte-true), or as lines of
// text, CSV or JSON on standard output for a pipeline; times count from sample
// 0, or from the trigger with --from-trigger; the summary stays on stderr.
TEST(CliTool, DecodeRecordsToFilesAndPipelines) {
  test::TempDir dir;
  SaveI2cWrite(dir.file("i2c.tqc"), {0xA0, 0x55}, 10);
  const ToolRun run = Tool(dir, "decode I2C --name bus -o i2c.txt --from-trigger i2c.tqc");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(test::ReadCrLfText(dir.file("i2c.txt")), " 10.0us, bus, [S] A0,Write ACK 55,ACK [P]\n");
  EXPECT_NE(run.err.find(std::to_string(std::filesystem::file_size(dir.file("i2c.txt"))) + " bytes of records in i2c.txt"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "");

  const ToolRun text = Tool(dir, "decode i2c i2c.tqc 2>/dev/null | head -1", "timeout 60");
  EXPECT_EQ(text.out, " 20.0us, , [S] A0,Write ACK 55,ACK [P]\n") << "time from sample 0, one line";
  const ToolRun json = Tool(dir,
                            "decode i2c -O json i2c.tqc 2>/dev/null | python3 -c 'import json,sys; r=json.load(sys.stdin)[0]; "
                            "print(r[\"start\"], r[\"end\"], r[\"bus\"], r[\"values\"], r[\"markers\"])'",
                            "timeout 60");
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out.rfind("20 ", 0), 0u) << json.out;
  EXPECT_NE(json.out.find(" i2c ['A0', '55'] ['[S]', 'Write', 'ACK', 'ACK', '[P]']"), std::string::npos) << json.out;
  const ToolRun csv = Tool(dir, "decode uart --channels 1 --baud 1000000 -O csv --from-trigger i2c.tqc", "timeout 60");
  EXPECT_EQ(csv.out.rfind("start_sample,end_sample,time,bus,values,markers\n", 0), 0u) << csv.out;
  const ToolRun zero = Tool(dir, "decode i2c -o /dev/zero i2c.tqc", "timeout 60");
  EXPECT_EQ(zero.status, 0) << zero.err;

  // One time origin for records, CSV and VCD: the trigger (sample 10) here.
  const ToolRun rows = Tool(dir, "export -O csv --from 9 --to 11 --from-trigger i2c.tqc");
  EXPECT_NE(rows.out.find("\r\n-0.000001,"), std::string::npos) << rows.out;
  EXPECT_NE(rows.out.find("\r\n0.000000,"), std::string::npos) << rows.out;
  const ToolRun vcd = Tool(dir, "export -O vcd --from 12 --from-trigger i2c.tqc");
  EXPECT_NE(vcd.out.find("$enddefinitions $end\n#2\n$dumpvars"), std::string::npos) << vcd.out;

  ExpectFailures(dir, {
      {"decode lin i2c.tqc", "unknown bus lin"},
      {"decode i2c -o /nonexistent/dir/x.txt i2c.tqc", "Can not open output file"},
      {"decode i2c -O json -o /nonexistent/dir/x.json i2c.tqc", "Can not open output file"},
      {"decode i2c -O xml i2c.tqc", "--output-format takes text, csv or json"},
      {"decode spi8 -O csv i2c.tqc", "spi8 records come only as text"},
      {"decode i2c --from 100 --to 10 i2c.tqc", "--from 100 lies after --to 10"},
      {"decode i2c --from 10 --to 10 i2c.tqc", "nothing to decode"},
      {"decode spi --bits 0 i2c.tqc", "--bits takes a word size of 1 to 32"},
      {"export -O vcd --from-trigger i2c.tqc", "a VCD starts at time 0"},
                      });
}

TEST(CliTool, FieldbusTrafficCapturedAndDecoded) {
  test::TempDir dir;
  const ToolRun demo = Tool(dir, "demo --traffic fieldbus --out d");
  ASSERT_EQ(demo.status, 0) << demo.err;
  for (const char* record : {", CAN, 11-bitID:", ", USB, ", ", PS2, Device: "}) {
    EXPECT_NE(demo.out.find(record), std::string::npos) << record << "\n" << demo.out;
  }

  // The same traffic through the global option, then each bus with the
  // decoder's defaults (the source's wiring) and with options of its own.
  const ToolRun capture = Tool(dir, "--sim-traffic=fieldbus capture -o f.tqc --samples 262144 -r 12M");
  ASSERT_EQ(capture.status, 0) << capture.err;
  const struct {
    const char* args;
    const char* file;
    const char* record;
  } kDecodes[] = {
      {"decode can -n CAN -o can.txt --id-min 0x7E0 --id-max 2047 --no-labels f.tqc", "can.txt",
       ", CAN, 7E8,0,08,04,41,0C,1A,F8,00,00,00,"},
      {"decode usb -n USB -o usb.txt --address 5 --payload-only -f dec -d blank f.tqc", "usb.txt",
       "  0   0  23   0   0   0   0   0 \n"},
      {"decode ps2 -n PS2 -o ps2.txt --msb-first f.tqc", "ps2.txt", ", PS2, Device: 34 \n"},
  };
  for (const auto& d : kDecodes) {
    const ToolRun run = Tool(dir, d.args);
    ASSERT_EQ(run.status, 0) << d.args << ": " << run.err;
    const std::string records = test::ReadCrLfText(dir.file(d.file));
    EXPECT_NE(records.find(d.record), std::string::npos) << d.args << "\n" << records;
  }
  EXPECT_EQ(test::ReadCrLfText(dir.file("can.txt")).find("11-bitID"), std::string::npos);
  ExpectFailures(dir, {
      {"decode usb --full-speed f.tqc", "Full speed needs a sample rate of 24 MHz"},
      {"decode usb -f char f.tqc", "usb writes hex or dec values only"},
      {"decode can --bit-rate 0 f.tqc", "Unsupported bit rate 0"},
      {"decode can --id-max 0xZZ f.tqc", "is not an identifier"},
      {"--sim-traffic=radio capture", "no simulated traffic named 'radio' (demo, fieldbus, streams, protocols)"},
                      });
}

// A full disk (/dev/full, or a file size limit on a regular file) fails every
// writing command with status 1, and no partial file is left behind.
TEST(CliTool, WriteFailuresLeaveNoPartialFile) {
  test::TempDir dir;
  SaveI2cWrite(dir.file("c.tqc"), std::vector<uint8_t>(300, 0x5A));
  const std::string limit = "trap '' XFSZ; ulimit -f 2;";  // 1 or 2 KiB, as the shell counts
  for (const char* args : {"decode i2c -o cut c.tqc", "decode spi8 --no-cs --sck 0 --mosi 1 -o cut c.tqc", "export -O csv -o cut c.tqc",
                           "export -O text -o cut c.tqc", "render -o cut c.tqc"}) {
    const ToolRun run = Tool(dir, args, limit);
    EXPECT_EQ(run.status, 1) << args << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("cut"))) << args;
  }
  ExpectFailures(dir, {
      {"decode i2c -o /dev/full c.tqc", "Can not write output file: No space left on device"},
      {"decode spi8 --no-cs --sck 0 --mosi 1 -o /dev/full c.tqc", "Can not write output file: No space left on device"},
      {"export -O text -o /dev/full c.tqc", "writing /dev/full failed"},
      {"export -O vcd -o /dev/full c.tqc", "writing /dev/full failed"},
                      });
  const ToolRun discarded = Tool(dir, "export -O text -o /dev/null c.tqc");
  EXPECT_EQ(discarded.status, 0) << discarded.err;
}

TEST(CliTool, CaptureAndStreamOnASimulatedPod) {
  test::TempDir dir;
  // A rising edge on d8 of the demonstration traffic's slow counter: low in the
  // word before the trigger, high at it.
  const ToolRun capture = Tool(dir, "--sim capture -o c.tqc --samples 200000 -r 2M -t 8=r --vcd c.vcd");
  ASSERT_EQ(capture.status, 0) << capture.err;
  EXPECT_NE(capture.out.find("c.tqc: 262144 samples at 2000000 Hz, trigger at sample "), std::string::npos)
      << capture.out;
  EXPECT_GT(std::filesystem::file_size(dir.file("c.vcd")), 0u);
  const uint64_t trigger = std::stoull(capture.out.substr(capture.out.find("trigger at sample ") + 18));
  const ToolRun edge =
      Tool(dir, "export -O text --from " + std::to_string(trigger - 1) + " --to " + std::to_string(trigger + 1) + " c.tqc");
  ASSERT_EQ(edge.status, 0) << edge.err;
  const auto [before, after] = TwoRows(edge.out);
  EXPECT_EQ(std::stoul(before.substr(2, 4), nullptr, 16) & 0x100, 0u) << before;
  EXPECT_EQ(std::stoul(after.substr(2, 4), nullptr, 16) & 0x100, 0x100u) << after;

  const ToolRun analog = Tool(dir, "--sim capture -o a.tqc --samples 131072 -c 8 -a 1 -r 2M --analog-trigger 'ch1>128'");
  ASSERT_EQ(analog.status, 0) << analog.err;
  EXPECT_NE(analog.out.find("a.tqc: 131072 samples at 2000000 Hz, trigger at sample "), std::string::npos)
      << analog.out;

  const ToolRun stream = Tool(dir, "--sim stream -r 8M --samples 300000 -o s.bin");
  ASSERT_EQ(stream.status, 0) << stream.err;
  EXPECT_EQ(std::filesystem::file_size(dir.file("s.bin")), 300000u);
  EXPECT_NE(stream.err.find("streamed 300000 samples"), std::string::npos) << stream.err;
  EXPECT_NE(stream.err.find(", 0 blocks lost"), std::string::npos) << stream.err;

  ExpectFailures(dir, {
      {"capture", "no pod found"},
      {"--sim capture -r 5M", "1, 2, 3, 4, 6, 8, 12, 16 or 24 MHz"},
      {"--sim capture -t 3=e", "the pod triggers on 0, 1, r or f"},
      {"--sim capture -c 0 -a 0", "no channels to capture"},
      {"--sim capture --analog-trigger ch3>5", "bad analog trigger"},
      {"--sim stream --clock 3", "load no firmware"},
      {"--sim stream --samples 5 --time 1s", "give one of"},
                      });
}

// Sets environment variables for the life of the object, then restores them.
class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      setenv(name, value.c_str(), 1);
    }
  }
  ~ScopedEnv() {
    for (const auto& [name, old] : saved_) old ? setenv(name, old->c_str(), 1) : unsetenv(name);
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(CliTool, ProtocolDefinitionsByNameAndTheSimulatedPlant) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.file("mine"));
  const std::string mine = "; My own Modbus\n[PROTOCOL]\nNAME = MINE\n[FIELDS]\nFIELDS ALL.N.H\n";
  test::WriteAll(dir.file("mine/modbus-rtu.txt"), std::vector<uint8_t>(mine.begin(), mine.end()));
  {
    // A folder of one's own comes first; the shipped definitions follow from
    // the source tree, since the tool runs from its build tree.
    const ScopedEnv env({{"TQLA_PROTOCOL_DIR", dir.file("mine")},
                         {"XDG_DATA_HOME", dir.file("home")},
                         {"XDG_DATA_DIRS", dir.file("data")}});
    const ToolRun list = Tool(dir, "packets list");
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("modbus-rtu    My own Modbus\n              " + dir.file("mine/modbus-rtu.txt") + "\n"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("canopen       CANopen: one packet per CAN frame"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("/protocols/canopen.txt\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\n6 protocol definitions\n"), std::string::npos) << list.out;

    const ToolRun check = Tool(dir, "packets check modbus-rtu");
    EXPECT_NE(check.out.find("protocol 0: MINE"), std::string::npos) << check.out;
    EXPECT_NE(Tool(dir, "packets check pmbus").out.find("protocol 2: PEC"), std::string::npos);
    const ToolRun nmea = Tool(dir, "packets check nmea-0183");
    EXPECT_NE(nmea.out.find("fields 1: DELIMITER.8 (hidden) P.8 (hidden) \"proprietary\" DATA.var"), std::string::npos)
        << nmea.out;
    ExpectFailures(dir, {
        {"packets check nosuch", "nosuch: no such file, and no protocol definition of that name in " +
                                     dir.file("mine") + ", " + dir.file("home") + "/tqla/protocols, " +
                                     dir.file("data") + "/tqla/protocols, "},
        {"packets list x", "packets list takes no file"},
                        });
  }

  // From a capture of the simulated plant to named frames in one decode, the
  // packet engine's trace lines kept off standard output unless asked for.
  ASSERT_EQ(Tool(dir, "--sim-traffic=protocols capture -o bus.tqc").status, 0);
  const std::string decode =
      "decode async --channels 6 --baud 115200 --parity even -p modbus-rtu --packets m.txt bus.tqc";
  const ToolRun run = Tool(dir, decode);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("Packet Started"), std::string::npos) << run.out;
  const std::string packets = test::ReadCrLfText(dir.file("m.txt"));
  EXPECT_EQ(std::count(packets.begin(), packets.end(), '\n'), 12) << packets;
  EXPECT_NE(packets.find(",ADDR,17,FUNC,Read_Holding_Registers,EXCEPTION,Illegal_Data_Address,"), std::string::npos)
      << packets;
  EXPECT_NE(Tool(dir, "--verbose " + decode).err.find("A Packet Started!"), std::string::npos);

  // The demo decodes every bus of the plant with its definition.
  const ToolRun demo = Tool(dir, "demo --traffic protocols --out d");
  ASSERT_EQ(demo.status, 0) << demo.err;
  for (const char* first : {"    PMBUS,12120,ADDR,40,RW,Write,CMD,PAGE,VALUE,00,", "    FLASH,6000,OPCODE,JEDEC_ID,",
                            "    MODBUS,42000,ADDR,17,", "    NMEA,48000,TALKER,GPS,SENTENCE,GGA,",
                            "    CANOPEN,36000,FUNCTION,NMT,"}) {
    EXPECT_NE(demo.out.find(first), std::string::npos) << first << "\n" << demo.out;
  }
}

}  // namespace
}  // namespace tqla::cli
