#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "frame/log_file.h"
#include "frame/sample_buffer.h"
#include "test_support.h"
#include "tqla/tqla_ext.h"

namespace tqla {
namespace {

using test::ScopedBuffer;

TEST(SampleBuffer, MakeBufferFillsAndBecomesCurrent) {
  ScopedBuffer buffer(65536);
  ASSERT_NE(buffer.get(), nullptr);
  for (uint32_t i = 0; i < 65536; ++i) ASSERT_EQ(buffer[i], 0xCCCCCCCCu) << i;
  EXPECT_EQ(GetActualCaptureLength(), 65536);
  EXPECT_EQ(sampleBuffer.SampleBuffer, buffer.get());
  EXPECT_EQ(sampleBuffer.BufferLength, 65536u);
}

TEST(SampleBuffer, SizesThatAreNotWholeBlocksAreRefusedAndChangeNothing) {
  ScopedBuffer buffer(65536);
  EXPECT_EQ(MakeBuffer(65537), nullptr);
  EXPECT_EQ(MakeBuffer(100000), nullptr);
  EXPECT_EQ(sampleBuffer.SampleBuffer, buffer.get());
  EXPECT_EQ(sampleBuffer.BufferLength, 65536u);
}

TEST(SampleBuffer, SizeZeroMakesAnEmptyBufferThatOperationsLeaveAlone) {
  ScopedBuffer empty(0);
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(GetActualCaptureLength(), 0);
  EXPECT_EQ(DemoData(), 1);
  EXPECT_EQ(DemoData16(), 1);
  EXPECT_EQ(GetActualCaptureLength(), 0);
}

TEST(SampleBuffer, DeleteBufferFreesOnlyWhatTheLibraryMade) {
  EXPECT_EQ(DeleteBuffer(nullptr), 0);
  uint32_t host[4] = {};
  EXPECT_EQ(DeleteBuffer(host), 0);
  uint32_t* made = MakeBuffer(65536);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(DeleteBuffer(made), 1);
  EXPECT_EQ(DeleteBuffer(made), 0);  // a second free is refused, not a double free
  // The freed block stays the current pointer, but nothing reads through it.
  EXPECT_EQ(sampleBuffer.SampleBuffer, made);
  EXPECT_TRUE(CurrentSamples().empty());
  EXPECT_EQ(DemoData(), 1);
  EXPECT_EQ(LoggedData(5), 0);
}

TEST(SampleBuffer, DemoDataSawAndMarkers) {
  ScopedBuffer buffer(65536);
  ASSERT_EQ(DemoData(), 1);
  EXPECT_EQ(buffer[0], 0u);
  EXPECT_EQ(buffer[1], 127u);
  EXPECT_EQ(buffer[2], 126u);
  EXPECT_EQ(buffer[65535], 128u);
  const uint32_t step = 8193;
  std::vector<uint32_t> markers;
  for (uint32_t i = 0; i < 65536; ++i)
    if (buffer[i] == 128u && i != 0) markers.push_back(i);
  std::vector<uint32_t> expected;
  for (int64_t k = 65535; k > 0; k -= step) expected.push_back(static_cast<uint32_t>(k));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(markers, expected);
  EXPECT_EQ(GetActualCaptureLength(), 65536);
}

TEST(SampleBuffer, DemoData16CounterSineCosine) {
  ScopedBuffer buffer(65536);
  ASSERT_EQ(DemoData16(), 1);
  EXPECT_EQ(buffer[0], 0xE38DFFFFu);
  // Word 100: the counter at 65435, CH1 170 (sine), CH2 37 (cosine).
  EXPECT_EQ(buffer[100], 0x25AAFF9Bu);
  EXPECT_EQ(buffer[65535], 128u);
  EXPECT_EQ(buffer[65535 - 8193], 128u);
}

TEST(SampleBuffer, MaxBufferSizeFollowsTheMemoryRule) {
  const uint32_t words = GetMaxBufferSize();
  EXPECT_GE(words, 1490944u);
  EXPECT_LE(words, 536854528u);
  EXPECT_EQ(words % 16384, 0u);
  EXPECT_EQ(GetMaxBufferSizeSG(), words * 2);
}

TEST(SampleBuffer, ChangeBufferLengthRewindsTheLoop) {
  sampleBuffer.LoopPosition = 77;
  EXPECT_EQ(ChangeBufferLength(1234), 1);
  EXPECT_EQ(sampleBuffer.LoopLength.load(), 1234u);
  EXPECT_EQ(sampleBuffer.LoopPosition.load(), 0u);
}

TEST(SecondArray, GrowsZeroFilledAndKeepsWhatWasWritten) {
  WordSpan a = EnsureSecondArray(16);
  ASSERT_GE(a.length, 16u);
  a.words[3] = 0x12345678;
  WordSpan b = EnsureSecondArray(70000);
  ASSERT_GE(b.length, 70000u);
  EXPECT_EQ(b.words[3], 0x12345678u);
  EXPECT_EQ(b.words[69999], 0u);
}

TEST(Trace, GoesToTheSinkOnlyWhenOneIsSet) {
  test::TraceLog trace;
  trace.Start();
  ScopedBuffer loud(65536);
  trace.Stop();
  ScopedBuffer quiet(65536);
  EXPECT_EQ(trace.Lines(), (std::vector<std::string>{"MakeBuffer() of size 65536", "Buffer allocated."}));
}

TEST(LogFile, LinesCarryTheTickCountInOrder) {
  test::TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  LogStart();
  LogEntry("first %d", 1);
  LogEntry("%s", std::string(1500, 'x').c_str());
  LogEntry("second");
  std::filesystem::current_path(previous);
  std::ifstream in(dir.file("tqlog.txt"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  // Each line: a decimal tick count, a colon, a space, the text.
  auto text = [](const std::string& line) {
    size_t digits = line[0] == '-' ? 1 : 0;
    const size_t first = digits;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
    if (digits == first || line.compare(digits, 2, ": ") != 0) return std::string("<malformed>");
    return line.substr(digits + 2);
  };
  EXPECT_EQ(text(lines[0]), " TQ Log Init");
  EXPECT_EQ(text(lines[1]), "first 1");
  EXPECT_EQ(text(lines[2]), std::string(999, 'x'));
  EXPECT_EQ(text(lines[3]), "second");
}

}  // namespace
}  // namespace tqla
