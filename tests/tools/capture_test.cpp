// The tool's capture file: its documented fields, the round trip, and the
// files it must refuse.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture.h"
#include "cli.h"
#include "test_support.h"
#include "tool_run.h"

namespace tqla::cli {
namespace {

using test::Le32;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

Capture Sample(size_t count) {
  Capture c;
  for (size_t i = 0; i < count; ++i) c.samples.push_back(static_cast<uint32_t>(i * 2654435761u));
  c.rateHz = 24000000;
  c.trigger = 7;
  c.analogChannels = kCh2InUse;
  c.created = "2024-05-06T07:08:09Z";
  return c;
}

TEST(CaptureFile, RoundTripAndDocumentedLayout) {
  TempDir dir;
  const std::string path = dir.file("a.tqc");
  const Capture saved = Sample(1000);
  SaveCapture(path, saved);
  const std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 232u + 4000u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 20), std::string("tqla capture") + std::string(8, '\0'));
  EXPECT_EQ(std::string(bytes.begin() + 20, bytes.begin() + 40), "2024-05-06T07:08:09Z");
  EXPECT_EQ(bytes[160], 1) << "format version";
  EXPECT_EQ(Le32(bytes, 161), 4000u) << "stored length";
  EXPECT_EQ(bytes[165], TQLA_RATE_24MHZ);
  EXPECT_EQ(bytes[166], kCh2InUse);
  EXPECT_EQ(Le32(bytes, 200), 24000000u);
  EXPECT_EQ(Le32(bytes, 204), 1000u);
  EXPECT_EQ(Le32(bytes, 208), 7u);
  EXPECT_EQ(Le32(bytes, 232 + 4 * 999), saved.samples[999]);

  const Capture loaded = LoadCapture(path);
  EXPECT_EQ(loaded.samples, saved.samples);
  EXPECT_EQ(loaded.rateHz, saved.rateHz);
  EXPECT_EQ(loaded.trigger, saved.trigger);
  EXPECT_EQ(loaded.analogChannels, saved.analogChannels);
  EXPECT_EQ(loaded.created, saved.created);

  Capture plain = Sample(0);
  plain.trigger.reset();
  plain.rateHz = 5000;  // not a pod rate: rate code 0
  SaveCapture(path, plain);
  EXPECT_EQ(ReadAll(path)[165], 0);
  EXPECT_EQ(Le32(ReadAll(path), 208), 0xFFFFFFFFu) << "no trigger";
  const Capture empty = LoadCapture(path);
  EXPECT_TRUE(empty.samples.empty());
  EXPECT_FALSE(empty.trigger.has_value());
  EXPECT_EQ(empty.rateHz, 5000u);
}

TEST(CaptureFile, RefusesForeignTruncatedAndDamagedFiles) {
  TempDir dir;
  const std::string good = dir.file("good.tqc");
  SaveCapture(good, Sample(16));
  const std::vector<uint8_t> bytes = ReadAll(good);
  auto with = [&](size_t at, uint8_t value) {
    auto b = bytes;
    b[at] = value;
    return b;
  };
  auto cut = [&](size_t size) { return std::vector<uint8_t>(bytes.begin(), bytes.begin() + size); };
  auto longer = bytes;
  longer.push_back(0);
  const struct {
    const char* name;
    std::vector<uint8_t> content;
    const char* message;
  } kCases[] = {
      {"empty", {}, "not a tqla capture file"},
      {"foreign", std::vector<uint8_t>(300, 'x'), "not a tqla capture file"},
      {"ident", with(3, 'A'), "not a tqla capture file"},
      {"head only", cut(100), "truncated capture file"},
      {"no samples", cut(232), "truncated capture file (232 bytes, expected 296)"},
      {"last byte", cut(bytes.size() - 1), "truncated capture file"},
      {"trailing", longer, "1 bytes after the samples"},
      {"version", with(160, 2), "version 2 is not supported"},
      {"stored length", with(161, 60), "does not match 16 samples"},
      {"rate code", with(165, 17), "rate code 17 does not match"},
      {"trigger", with(208, 16), "trigger index 16 past the samples"},
  };
  for (const auto& c : kCases) {
    const std::string path = dir.file("bad.tqc");
    WriteAll(path, c.content);
    const std::string message = Thrown([&] { LoadCapture(path); });
    EXPECT_NE(message.find(c.message), std::string::npos) << c.name << ": " << message;
  }
  EXPECT_THROW(LoadCapture(dir.file("missing.tqc")), CliError);
  EXPECT_THROW(LoadCapture(dir.path().string()), CliError);
}

// A loaded capture reads its samples where the file lies: another process
// cutting the file underneath turns the lost pages into zeros and a report,
// never a bus error; saving over the file it came from keeps every sample.
TEST(CaptureFile, MappedSamplesSurviveTheFileChangingUnderneath) {
  TempDir dir;
  const std::string path = dir.file("m.tqc");
  const Capture saved = Sample(1u << 16);
  SaveCapture(path, saved);
  {
    Capture loaded = LoadCapture(path);
    SaveCapture(path, loaded);
    EXPECT_EQ(LoadCapture(path).samples, saved.samples) << "saved over its own file";
    EXPECT_TRUE(TakeFilesCutWhileRead().empty());
  }
  {
    const Capture loaded = LoadCapture(path);
    std::filesystem::resize_file(path, 4096);
    uint64_t sum = 0, zeros = 0;
    for (uint32_t word : loaded.samples) sum += word, zeros += word == 0;
    EXPECT_EQ(loaded.samples[900], saved.samples[900]) << "the first page stays";
    EXPECT_GE(zeros, (1u << 16) - 1024) << sum;
  }
  const std::vector<std::string> cut = TakeFilesCutWhileRead();
  EXPECT_EQ(cut, std::vector<std::string>{path});
}

}  // namespace
}  // namespace tqla::cli
