// The pattern files of `tqla generate`, and the generate, io and count
// commands run in this process against simulated pods: what one pod plays
// comes back through a second pod wired to its lines.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <future>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "cli.h"
#include "commands.h"
#include "export_formats.h"
#include "pattern_file.h"
#include "pod_capture.h"
#include "sim_support.h"
#include "test_support.h"
#include "tool_run.h"

namespace tqla::cli {
namespace {

using test::PollFor;

constexpr uint32_t kGenerator = 31, kCapturer = 32;
// A wired pod replays from its GO this many samples of the level before the
// generation run, then the run.
constexpr uint32_t kLeadIn = 65536;

std::vector<uint32_t> RandomWords(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint32_t> words(count);
  for (uint32_t& w : words) w = random();
  return words;
}

std::vector<uint32_t> Low16(std::vector<uint32_t> words) {
  for (uint32_t& w : words) w &= 0xFFFF;
  return words;
}

void WriteText(const std::string& path, const std::string& text) {
  test::WriteAll(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// The tool's own VCD of samples at rateHz, with CH1 so reals are in it too.
std::string VcdOf(const std::vector<uint32_t>& samples, uint32_t rateHz) {
  ExportWindow window;
  window.samples = samples.data();
  window.count = samples.size();
  window.rateHz = rateHz;
  window.analogChannels = kCh1InUse;
  window.date = "2024-01-02T03:04:05Z";
  return Written([&](std::FILE* file) { WriteVcd(file, window, nullptr); });
}

// A CSV of 16-bit hexadecimal words.
std::string HexWords(const std::vector<uint32_t>& words) {
  std::string csv = "pattern\n";
  char word[8];
  for (uint32_t w : words) {
    std::snprintf(word, sizeof word, "%04X\n", w & 0xFFFF);
    csv += word;
  }
  return csv;
}

// Runs a command; returns its exit status and what it printed.
std::pair<int, std::string> RunPrinting(CommandRun command, std::vector<std::string> words) {
  testing::internal::CaptureStdout();
  const int status = RunWords(command, std::move(words));
  return {status, testing::internal::GetCapturedStdout()};
}

TEST(PatternFile, TheToolsVcdReadsBackSampleForSample) {
  // 1 us and 100 ps units are exact; at 3 and 24 MHz times are rounded to the ps.
  for (uint32_t rate : {1000000u, 3000000u, 16000000u, 24000000u}) {
    const std::vector<uint32_t> samples = RandomWords(20000, rate);
    const Pattern pattern = ReadVcdPattern(VcdOf(samples, rate), std::nullopt);
    EXPECT_EQ(pattern.rateHz, rate);
    EXPECT_EQ(pattern.words, Low16(samples)) << rate;
  }
  // Sampled at another rate the times hold: half the rate takes every other
  // sample, twice the rate each sample twice.
  const std::vector<uint32_t> samples = Low16(RandomWords(1000, 7));
  const Pattern half = ReadVcdPattern(VcdOf(samples, 2000000), 1000000);
  ASSERT_EQ(half.words.size(), 500u);
  for (size_t i = 0; i < 500; ++i) ASSERT_EQ(half.words[i], samples[2 * i]) << i;
  const Pattern twice = ReadVcdPattern(VcdOf(samples, 1000000), 2000000);
  ASSERT_EQ(twice.words.size(), 2000u);
  for (size_t i = 0; i < 2000; ++i) ASSERT_EQ(twice.words[i], samples[i / 2]) << i;
}

TEST(PatternFile, OtherWritersVcdShapesAndHexWords) {
  // Nested scopes, long identifiers, values before the first timestamp, x and
  // z, a vector and a real of other variables, a spaced timescale.
  const std::string vcd =
      "$date today $end\n$timescale 10 ns $end\n$scope module top $end\n$scope module pod $end\n"
      "$var wire 1 !! d0 $end\n$var reg 1 \" d15 $end\n$var wire 8 # bus $end\n$var real 64 % volts $end\n"
      "$var wire 1 & d1 $end\n$upscope $end\n$upscope $end\n$enddefinitions $end\n"
      "$dumpvars\n1!!\nx\"\nb00000000 #\nr0.5 %\n0&\n$end\n#0\n#20\n0!!\n1\"\nb101 #\n#30\nz&\n1&\n#50\n";
  // At 50 MHz a sample is 20 ns, two units.
  std::vector<uint32_t> expected(10, 0x0001);
  expected.insert(expected.end(), 5, 0x8000);
  expected.insert(expected.end(), 10, 0x8002);
  const Pattern pattern = ReadVcdPattern(vcd, 50000000);
  EXPECT_EQ(pattern.words, expected);
  EXPECT_EQ(ReadVcdPattern(vcd, std::nullopt).rateHz, 1000000u) << "no rate named: 1 MHz";
  // Values after the last timestamp make one more sample.
  expected.push_back(0x8003);
  EXPECT_EQ(ReadVcdPattern(vcd + "1!!\n", 50000000).words, expected);

  EXPECT_EQ(ReadHexWordPattern("words\r\n0x1\r\n\r\nFFFF\r\n  a5 \r\n").words,
            (std::vector<uint32_t>{1, 0xFFFF, 0xA5}));
  EXPECT_EQ(ReadHexWordPattern("cafe\n1\n").words, (std::vector<uint32_t>{0xCAFE, 1})) << "a word is no header";

  // Files go by their name, else by their contents.
  test::TempDir dir;
  Capture capture;
  capture.samples = {0x12345678, 0xFFFF0001};
  capture.rateHz = 8000000;
  SaveCapture(dir.file("c.tqc"), capture);
  std::filesystem::copy_file(dir.file("c.tqc"), dir.file("capture"));
  WriteText(dir.file("vcd"), vcd);
  for (const char* name : {"c.tqc", "capture"}) {
    const Pattern p = LoadPattern(dir.file(name), std::nullopt);
    EXPECT_EQ(capture.samples, p.words) << name;
    EXPECT_EQ(p.rateHz, 8000000u) << name;
  }
  EXPECT_EQ(LoadPattern(dir.file("vcd"), 50000000).words.size(), 25u);
}

TEST(PatternFile, RefusesWhatItCannotPlayNamingTheLine) {
  const std::string head = "$timescale 1us $end\n$var wire 1 ! d0 $end\n$enddefinitions $end\n";
  const struct {
    const char* name;
    std::string text;
    const char* message;
  } kCases[] = {
      {"empty.csv", "", "empty.csv: no samples in the pattern"},
      {"header.csv", "value\n", "no samples in the pattern"},
      {"big.csv", "1\n10000\n", "line 2: '10000' is not a 16-bit hexadecimal word"},
      {"back.vcd", head + "#10\n1!\n#5\n", "line 6: time #5 goes back from #10"},
      {"noscale.vcd", "$var wire 1 ! d0 $end\n#1\n", "line 2: no $timescale before the first timestamp"},
      {"unknown.vcd", head + "#0\n1?\n", "line 5: unknown identifier '?'"},
      {"wide.vcd", "$timescale 1us $end\n$var wire 4 ! d3 $end\n", "d3 is not a 1-bit variable"},
      {"twice.vcd", head + "$var wire 1 ? d0 $end\n", "d0 is declared twice"},
      {"analog.vcd", "$timescale 1us $end\n$var real 64 Q CH1 $end\n$enddefinitions $end\n", "no digital channel"},
      {"far.vcd", head + "#999999999999\n", "past the longest pattern"},
      {"open.vcd", "$comment never closed\n", "$comment has no $end"},
  };
  test::TempDir dir;
  for (const auto& c : kCases) {
    WriteText(dir.file(c.name), c.text);
    const std::string message = Thrown([&] { LoadPattern(dir.file(c.name), std::nullopt); });
    EXPECT_NE(message.find(c.message), std::string::npos) << c.name << ": " << message;
    EXPECT_EQ(message.rfind(dir.file(c.name) + ": ", 0), 0u) << message;
  }
  EXPECT_THROW(LoadPattern(dir.path().string(), std::nullopt), CliError);
}

class PatternCommands : public test::SimBusTest {
 protected:
  void SetUp() override {
    SimBusTest::SetUp();
    generator_ = test::AddDrainPod(kGenerator);
    capturer_ = test::AddDrainPod(kCapturer);
    ASSERT_EQ(TqlaSimSetLoopback(generator_, capturer_), 1);
  }
  // The lines as the wired pod captures them at rateHz, from its GO on.
  std::vector<uint32_t> CaptureBack(uint32_t rateHz, uint32_t samples) {
    CaptureSettings settings;
    settings.pod = kCapturer;
    settings.rateHz = rateHz;
    settings.analogChannels = 0;
    settings.samples = samples;
    settings.post = 0;
    return Low16(RunPodCapture(settings, nullptr).samples.TakeVector());
  }
  std::vector<uint16_t> Played() { return sim::Bus().Pod(generator_)->Outputs().LastRun().samples; }
  // Words naming files (with a dot) name them in the test's folder.
  std::vector<std::string> InDir(const std::vector<std::string>& words) {
    std::vector<std::string> result;
    for (const std::string& w : words) result.push_back(w.find('.') != std::string::npos ? dir_.file(w) : w);
    return result;
  }
  test::TempDir dir_;
  int32_t generator_ = 0, capturer_ = 0;
};

// Each kind of file, played once, comes back sample for sample after the
// lead-in, and the lines then hold its last word; 8 bits drive the low byte.
TEST_F(PatternCommands, GenerateOnceComesBackThroughAWiredPod) {
  const std::vector<uint32_t> random = RandomWords(100000, 1);  // not whole blocks
  WriteText(dir_.file("p.vcd"), VcdOf(random, 24000000));
  Capture capture;
  capture.samples = RandomWords(70000, 2);
  capture.rateHz = 3000000;
  SaveCapture(dir_.file("p.tqc"), capture);
  const std::vector<uint32_t> words = Low16(RandomWords(1000, 3));
  WriteText(dir_.file("p.csv"), HexWords(words));

  const struct {
    std::vector<std::string> words;
    uint32_t rateHz;
    std::vector<uint32_t> pattern;
    uint32_t lines;  // the lines the run drives
  } kRuns[] = {
      {{"p.vcd"}, 24000000, Low16(random), 0xFFFF},
      {{"-w", "8", "p.tqc"}, 3000000, Low16({capture.samples.begin(), capture.samples.end()}), 0x00FF},
      {{"--rate", "2M", "p.csv"}, 2000000, words, 0xFFFF},
  };
  uint32_t before = 0;
  for (const auto& r : kRuns) {
    SCOPED_TRACE(r.words.back());
    std::vector<std::string> args = InDir(r.words);
    args.insert(args.begin(), {"--pod", std::to_string(kGenerator)});
    const auto [status, out] = RunPrinting(RunGenerate, args);
    ASSERT_EQ(status, 0);
    EXPECT_NE(out.find(std::to_string(r.pattern.size()) + " samples at " + std::to_string(r.rateHz) + " Hz on " +
                       (r.lines == 0xFF ? "8" : "16") + " lines, played once; 0 underruns\n"),
              std::string::npos)
        << out;
    const auto size = static_cast<uint32_t>(r.pattern.size());
    const std::vector<uint32_t> back = CaptureBack(r.rateHz, (kLeadIn + size + 65535) / 65536 * 65536 + 65536);
    const uint32_t kept = before & ~r.lines;
    EXPECT_EQ(back[kLeadIn - 1], before);
    for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(back[kLeadIn + i], kept | (r.pattern[i] & r.lines)) << i;
    EXPECT_EQ(back.back(), kept | (r.pattern.back() & r.lines)) << "the last word is held";
    before = back.back();
  }
}

// Ctrl-C ends a loop with 0 and cuts a timed run short with 2; --time ends
// by itself. A loop repeats without a seam.
TEST_F(PatternCommands, GenerateLoopsUntilCtrlCOrItsTime) {
  const std::vector<uint32_t> pattern = Low16(RandomWords(40000, 3));
  WriteText(dir_.file("p.csv"), HexWords(pattern));
  auto interrupted = [&](std::vector<std::string> words, size_t played) {
    std::vector<uint8_t> taken(4096);
    while (TqlaSimReadOutput(generator_, TQLA_SIM_DIGITAL, 0x01, taken.data(), 4096) > 0) {
    }
    auto run = std::async(std::launch::async, RunPrinting, RunGenerate, std::move(words));
    // The generate command comes after the run took over Ctrl-C.
    EXPECT_TRUE(PollFor([&] { return TqlaSimReadOutput(generator_, TQLA_SIM_DIGITAL, 0x01, nullptr, 0) > 0; }));
    EXPECT_TRUE(PollFor([&] { return Played().size() > played; }));
    std::raise(SIGINT);
    return run.get();
  };
  const auto [loopStatus, loopOut] = interrupted({"--loop", dir_.file("p.csv")}, 5 * pattern.size());
  EXPECT_EQ(loopStatus, 0);
  EXPECT_NE(loopOut.find("looped for"), std::string::npos) << loopOut;
  const std::vector<uint16_t> played = Played();
  for (size_t i = 0; i < 5 * pattern.size(); ++i) ASSERT_EQ(played[i], pattern[i % pattern.size()]) << i;

  const auto [timedStatus, timedOut] = RunPrinting(RunGenerate, {"--time", "50ms", dir_.file("p.csv")});
  EXPECT_EQ(timedStatus, 0);
  EXPECT_NE(timedOut.find("looped for"), std::string::npos) << timedOut;

  const auto [cutStatus, cutOut] = interrupted({"--time", "60s", dir_.file("p.csv")}, pattern.size());
  EXPECT_EQ(cutStatus, kExitCutShort);
  EXPECT_NE(cutOut.find("passes), stopped by Ctrl-C; 0 underruns"), std::string::npos) << cutOut;
}

// A pod that leaves the bus ends a loop or a count with the library's reason.
TEST_F(PatternCommands, AnUnpluggedPodFailsTheRunWithItsReason) {
  WriteText(dir_.file("p.csv"), HexWords(RandomWords(1000, 6)));
  TqlaSimSetRealTime(generator_, 1);
  const struct {
    CommandRun command;
    std::vector<std::string> words;
    const char* message;
  } kRuns[] = {
      {RunGenerate, {"--loop", "p.csv"}, "the pod stopped taking the pattern and the run ended: The run failed: "},
      {RunCount, {}, "the pod stopped delivering samples; the counts are those until then: The run failed: "},
  };
  for (const auto& r : kRuns) {
    SCOPED_TRACE(r.message);
    TqlaSimReset();
    const int32_t pod = TqlaSimAddPod(kGenerator);
    auto run = std::async(std::launch::async, RunWords, r.command, InDir(r.words));
    // Running once the pod has its generate command or GO.
    EXPECT_TRUE(PollFor([&] { return TqlaSimReadOutput(pod, TQLA_SIM_DIGITAL, 0x01, nullptr, 0) > 0; }));
    ASSERT_EQ(TqlaSimInjectFault(pod, TQLA_SIM_FAULT_UNPLUG, 0, 0), 1);
    const std::string message = Thrown([&] { run.get(); });
    EXPECT_NE(message.find(r.message), std::string::npos) << message;
  }
}

TEST_F(PatternCommands, IoSetThenGetOnASelfWiredPod) {
  ASSERT_EQ(TqlaSimSetLoopback(generator_, generator_), 1);
  const auto [setStatus, setOut] = RunPrinting(RunIo, {"set", "0xBEEF", "--pod", std::to_string(kGenerator)});
  EXPECT_EQ(setStatus, 0);
  EXPECT_EQ(setOut, "lines set to BEEF (mask FFFF)\n");
  const auto [getStatus, getOut] = RunPrinting(RunIo, {"get", "-n", "3", "--pod", std::to_string(kGenerator)});
  EXPECT_EQ(getStatus, 0);
  EXPECT_EQ(getOut, "BEEF\nBEEF\nBEEF\n");
  RunPrinting(RunIo, {"set", "12", "--pod", std::to_string(kGenerator)});
  EXPECT_EQ(RunPrinting(RunIo, {"get", "--pod", std::to_string(kGenerator)}).second, "0012\n");
}

// The table after --time equals the edges of the same words in a buffer,
// over 32 blocks, with and without a qualifier and at 8 bits.
TEST_F(PatternCommands, CountEqualsTheEdgesOfTheSameWords) {
  constexpr uint32_t kSamples = 1u << 20;
  std::vector<uint32_t> source = RandomWords(kSamples, 4);
  for (uint32_t& w : source) w &= (w >> 16) | 0xFF00;  // some channels change seldom
  ASSERT_EQ(TqlaSimSetSamples(generator_, source.data(), kSamples, 0), 1);
  int32_t buffer[16] = {};
  {
    SampleBufferLease lease(source);
    CountEdgesInBuffer(&buffer[0], &buffer[1], &buffer[2], &buffer[3], &buffer[4], &buffer[5], &buffer[6],
                       &buffer[7], &buffer[8], &buffer[9], &buffer[10], &buffer[11], &buffer[12], &buffer[13],
                       &buffer[14], &buffer[15]);
  }
  uint32_t edges[16];
  std::copy(buffer, buffer + 16, edges);
  uint32_t qualified[16] = {};
  for (uint32_t i = 1; i < kSamples; ++i) {
    if ((source[i] & 0x0101) != 0x0100) continue;
    const uint32_t changed = (source[i] ^ source[i - 1]) & 0xFFFF;
    for (int b = 0; b < 16; ++b) qualified[b] += changed >> b & 1;
  }
  const struct {
    std::vector<std::string> words;
    size_t channels;
    const uint32_t* expected;
  } kCounts[] = {
      {{}, 16, edges},
      {{"-q", "0101=0100"}, 16, qualified},
      {{"-w", "8"}, 8, edges},
  };
  for (const auto& c : kCounts) {
    std::vector<std::string> words = {"--time", "300ms", "--pod", std::to_string(kGenerator)};
    words.insert(words.end(), c.words.begin(), c.words.end());
    const auto [status, out] = RunPrinting(RunCount, words);
    ASSERT_EQ(status, 0);
    std::istringstream lines(out.substr(out.find("channel  edges\n")));
    std::string line;
    std::getline(lines, line);
    for (size_t channel = 0; channel < c.channels; ++channel) {
      size_t shown = 0;
      uint64_t counted = 0;
      ASSERT_TRUE(lines >> shown >> counted) << out;
      EXPECT_EQ(shown, channel);
      EXPECT_EQ(counted, c.expected[channel]) << "channel " << channel << " " << c.words.size();
    }
    EXPECT_FALSE(lines >> line) << "only " << c.channels << " channels";
  }
}

TEST_F(PatternCommands, BadInputIsRefusedWithAMessage) {
  WriteText(dir_.file("p.csv"), "1\n2\n");
  WriteText(dir_.file("empty.csv"), "");
  Capture slow;
  slow.samples = {1, 2};
  slow.rateHz = 5000;
  SaveCapture(dir_.file("slow.tqc"), slow);
  const struct {
    CommandRun command;
    std::vector<std::string> words;
    const char* message;
  } kCases[] = {
      {RunGenerate, {"--rate", "5M", "p.csv"}, "1, 2, 3, 4, 6, 8, 12, 16 or 24 MHz, not 5M"},
      {RunGenerate, {"-w", "12", "p.csv"}, "--width takes 16 or 8"},
      {RunGenerate, {"--loop", "--time", "1s", "p.csv"}, "give one of --once, --loop and --time"},
      {RunGenerate, {"missing.csv"}, "missing.csv: no such file"},
      {RunGenerate, {"empty.csv"}, "empty.csv: no samples in the pattern"},
      {RunGenerate, {"slow.tqc"}, "slow.tqc: its rate of 5000 Hz is not one the pod has"},
      {RunCount, {"-q", "1=2"}, "VALUE 0002 has bits outside MASK 0001"},
      {RunCount, {"-q", "0100"}, "write MASK=VALUE"},
      {RunCount, {"-q", "x=1"}, "--qualifier MASK: 'x' is not a 16-bit hexadecimal value"},
      {RunCount, {"-w", "8", "-q", "100=100"}, "MASK 0100 names channels above 7"},
      {RunIo, {"set"}, "set needs a VALUE"},
      {RunIo, {"set", "10000"}, "VALUE: '10000' is not a 16-bit hexadecimal value"},
      {RunIo, {"get", "-n", "32769"}, "at most 32768"},
      {RunIo, {"toggle"}, "unknown action 'toggle'"},
  };
  for (const auto& c : kCases) {
    const std::string message = Thrown([&] { RunWords(c.command, InDir(c.words)); });
    EXPECT_NE(message.find(c.message), std::string::npos) << c.message << ": " << message;
  }
  TqlaSimReset();
  EXPECT_THROW(RunWords(RunIo, {"get"}), CliError) << "no pod";
  for (CommandRun command : {RunGenerate, RunIo, RunCount}) {
    const auto [status, out] = RunPrinting(command, {"--help"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.rfind("usage: tqla ", 0), 0u) << out;
  }
}

}  // namespace
}  // namespace tqla::cli
