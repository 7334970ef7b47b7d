#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

namespace tqla {
namespace {

TEST(PackedBuffer, MakeBufferSGHalvesTheWordCount) {
  uint32_t* words = MakeBufferSG(65536);
  ASSERT_NE(words, nullptr);
  EXPECT_EQ(sampleBuffer.BufferLength, 32768u);
  EXPECT_EQ(GetActualCaptureLength(), 32768);
  EXPECT_EQ(LoggedDataSG(0), 0xCCCC);
  EXPECT_EQ(MakeBufferSG(65537), nullptr);
  EXPECT_EQ(sampleBuffer.SampleBuffer, words);
  EXPECT_EQ(DeleteBuffer(words), 1);
}

TEST(PackedBuffer, SetDataSGFillsTheRightHalves) {
  test::ScopedBuffer buffer(65536);
  EXPECT_EQ(SetDataSG(0, 0x1234), 1);
  EXPECT_EQ(SetDataSG(1, 0xABCD), 1);
  EXPECT_EQ(buffer[0], 0x1234ABCDu);
  EXPECT_EQ(SetDataSG(5, 0x12345), 1);
  EXPECT_EQ(buffer[2] & 0xFFFF, 0x2345u);
  EXPECT_EQ(buffer[2] >> 16, 0xCCCCu);
  EXPECT_EQ(LoggedDataSG(0), 0x1234);
  EXPECT_EQ(LoggedDataSG(1), 0xABCD);
  EXPECT_EQ(SetDataSG(2 * 65536, 1), 0);
  buffer[65535] = 0x00017777;
  EXPECT_EQ(LoggedDataSG(2 * 65536 + 9), 0x7777);  // past the end: the last sample
}

TEST(PlainBuffer, SetAndReadBackWithBounds) {
  test::ScopedBuffer buffer(65536);
  EXPECT_EQ(SetData(65535, 0xDEADBEEF), 1);
  EXPECT_EQ(SetData(65536, 1), 0);
  EXPECT_EQ(static_cast<uint32_t>(LoggedData(65535)), 0xDEADBEEFu);
  EXPECT_EQ(static_cast<uint32_t>(LoggedData(1u << 30)), 0xDEADBEEFu);  // the last word, not 0
}

TEST(PlainBuffer, SetBlockDataClampsOrdersAndTouchesOneBit) {
  std::vector<uint32_t> words(100, 0);
  test::UseHostBuffer(words, 100);
  EXPECT_EQ(SetBlockData(10, 3, 2, 1), 1);
  for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(words[i], (i >= 3 && i <= 10) ? 4u : 0u) << i;
  std::fill(words.begin(), words.end(), 0xFFFFFFFFu);
  EXPECT_EQ(SetBlockData(-5, 1000000, 0, 0), 1);
  for (uint32_t w : words) ASSERT_EQ(w, 0xFFFFFFFEu);
  EXPECT_EQ(SetBlockData(0, 0, 37, 0), 1);  // only the low five bits of the channel count: bit 5
  EXPECT_EQ(words[0], 0xFFFFFFDEu);
  SetCurrentBuffer(nullptr, 0, 0);
  EXPECT_EQ(SetBlockData(0, 5, 1, 1), 0);
  EXPECT_EQ(SetBlockDataSG(0, 5, 1, 1), 0);
  EXPECT_EQ(LoggedData(0), 0);
  EXPECT_EQ(SetData(0, 1), 0);
}

TEST(PackedBuffer, SetBlockDataSGMapsEvenAndOddSamples) {
  std::vector<uint32_t> words(4, 0);
  test::UseHostBuffer(words, 4);
  EXPECT_EQ(SetBlockDataSG(2, 3, 0, 1), 1);
  EXPECT_EQ(words[1], 0x00010001u);
  EXPECT_EQ(SetBlockDataSG(100, -3, 15, 1), 1);  // clamps to samples 0..7
  for (uint32_t w : words) EXPECT_EQ(w & 0x80008000u, 0x80008000u);
  EXPECT_EQ(SetBlockDataSG(7, 7, 20, 1), 1);  // odd sample, channel 20 is bit 20 of its word
  EXPECT_EQ(words[3] & (1u << 20), 1u << 20);
  SetCurrentBuffer(nullptr, 0, 0);
}

TEST(Vectors, RunLengthCountsIncludeTheByteThatEndsTheRun) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> vectors;
  };
  const Case cases[] = {
      {{7, 7, 7}, {(7u << 12) + 3, 0}},
      {{1, 2}, {(1u << 12) + 2, (2u << 12) + 0, 0}},
      {{'A', 'A', 'B', 'B', 'B', 'C'}, {('A' << 12) + 3, ('B' << 12) + 3, ('C' << 12) + 0, 0}},
      {{}, {0}},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> out(c.vectors.size() + 2, 0xEEEEEEEE);
    CreateVectors(const_cast<uint8_t*>(c.bytes.data()), out.data(), static_cast<uint32_t>(c.bytes.size()));
    EXPECT_TRUE(std::equal(c.vectors.begin(), c.vectors.end(), out.begin()));
    EXPECT_EQ(out[c.vectors.size()], 0xEEEEEEEEu);  // nothing past the terminator
  }
}

TEST(EdgeCount, AlternatingWordsGiveNineEdgesOnEveryChannel) {
  std::vector<uint32_t> words(10);
  for (size_t i = 0; i < words.size(); ++i) words[i] = (i & 1) ? 0xFFFF : 0;
  test::UseHostBuffer(words, 10);
  int32_t c[16];
  for (int32_t& v : c) v = -1;
  EXPECT_EQ(CountEdgesInBuffer(&c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7], &c[8], &c[9], &c[10],
                               &c[11], &c[12], &c[13], &c[14], &c[15]),
            0);
  for (int32_t v : c) EXPECT_EQ(v, 9);
  // Analog bits never count; a single channel toggling twice counts 2.
  std::fill(words.begin(), words.end(), 0xFF0000u);
  words[4] = 0x00FF0008u | 0x01000000u;
  CountEdgesInBuffer(&c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7], &c[8], &c[9], &c[10], &c[11],
                     &c[12], &c[13], &c[14], &c[15]);
  for (int b = 0; b < 16; ++b) EXPECT_EQ(c[b], b == 3 ? 2 : 0) << b;
  SetCurrentBuffer(nullptr, 0, 0);
  CountEdgesInBuffer(&c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7], &c[8], &c[9], &c[10], &c[11],
                     &c[12], &c[13], &c[14], &c[15]);
  for (int32_t v : c) EXPECT_EQ(v, 0);
}

}  // namespace
}  // namespace tqla
