#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace tqla {
namespace {

using test::Le32;
using test::ReadAll;
using test::TempDir;
using test::TraceLog;
using test::UseHostBuffer;
using test::WriteAll;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

struct SampleSectionTest : ::testing::Test {
  TempDir dir;
  std::string file = dir.file("settings.txt");
  std::vector<uint32_t> words{0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x55555555};
  void SetUp() override { UseHostBuffer(words, 5); }
};

TEST_F(SampleSectionTest, TwoSectionsFollowTheHostTextAndTheFirstIsRead) {
  WriteAll(file, Bytes("rate=1\n"));
  EXPECT_EQ(AppendBetweenSampleData(file.data(), 1, 2), 2);
  EXPECT_EQ(AppendSampleData(file.data()), 5);
  const std::vector<uint8_t> bytes = ReadAll(file);
  ASSERT_EQ(bytes.size(), 7 + 9 + 8 + 9 + 20u);
  EXPECT_EQ(std::string(bytes.begin() + 7, bytes.begin() + 16), "[Samples]");
  EXPECT_EQ(Le32(bytes, 16), 0x22222222u);
  EXPECT_EQ(Le32(bytes, 33), 0x11111111u);

  TraceLog trace;
  trace.Start();
  std::fill(words.begin(), words.end(), 0u);
  EXPECT_EQ(ExtractBufferFromFile(file.data(), 3), 3);  // the first section's 2 words, then the next marker's bytes
  EXPECT_EQ(words[0], 0x22222222u);
  EXPECT_EQ(words[1], 0x33333333u);
  EXPECT_EQ(words[3], 0u);
  EXPECT_EQ(sampleBuffer.BufferLength, 3u);
  EXPECT_TRUE(trace.Has("Samples found at 16"));
  EXPECT_TRUE(trace.Has("First Sample 22222222"));
}

TEST_F(SampleSectionTest, MarkerCases) {
  TraceLog trace;
  trace.Start();
  WriteAll(file, Bytes("[Samples]\x01\x02\x03\x04"));
  EXPECT_EQ(ExtractBufferFromFile(file.data(), 4), 1);
  EXPECT_EQ(words[0], 0x04030201u);
  EXPECT_TRUE(trace.Has("Samples found at 9"));

  WriteAll(file, Bytes("no samples here [Sample]"));
  sampleBuffer.BufferLength = 5;
  EXPECT_EQ(ExtractBufferFromFile(file.data(), 2), 0);
  EXPECT_EQ(sampleBuffer.BufferLength, 5u);

  WriteAll(file, Bytes("text[Samples]"));
  EXPECT_EQ(ExtractBufferFromFile(file.data(), 2), 0);
  EXPECT_EQ(words[0], 0x04030201u);
  EXPECT_EQ(sampleBuffer.BufferLength, 2u);
}

// A count beyond the storage reads only what fits; the length is still set.
TEST_F(SampleSectionTest, CountsBeyondTheStorageStayInside) {
  std::vector<uint8_t> bytes = Bytes("[Samples]");
  bytes.resize(9 + 4 * 100, 0x77);
  WriteAll(file, bytes);
  EXPECT_EQ(ExtractBufferFromFile(file.data(), 0xFFFFFFFFu), 5);
  EXPECT_EQ(sampleBuffer.BufferLength, 0xFFFFFFFFu);
  EXPECT_EQ(words[4], 0x77777777u);

  std::string out = dir.file("out");
  EXPECT_EQ(AppendSampleData(out.data()), 5);
  EXPECT_EQ(AppendBetweenSampleData(out.data(), 3, 0xFFFFFFF0u), 2);
  EXPECT_EQ(AppendBetweenSampleData(out.data(), 0xFFFFFFF0u, 0xFFFFFFF0u), 0);
  EXPECT_EQ(ReadAll(out).size(), 3 * 9 + 4 * 7u);
}

}  // namespace
}  // namespace tqla
