#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

namespace tqla {
namespace {

constexpr uint32_t Fixed20(double v) { return static_cast<uint32_t>(v * 1048576.0); }

int CalibrateFully(uint32_t o1, uint32_t g1, uint32_t o2, uint32_t g2) {
  int calls = 1;
  while (CalibrateScope(o1, g1, o2, g2) == -1) ++calls;
  return calls;
}

TEST(Calibration, IdentityConstantsLeaveTheBufferUnchanged) {
  test::ScopedBuffer buffer(65536);
  ASSERT_EQ(DemoData16(), 1);
  std::vector<uint32_t> before(buffer.get(), buffer.get() + 65536);
  CalibrateFully(Fixed20(128), Fixed20(0.078125), Fixed20(128), Fixed20(0.078125));
  EXPECT_TRUE(std::equal(before.begin(), before.end(), buffer.get()));
}

TEST(Calibration, OffsetAndGainPerChannelWithClamping) {
  test::ScopedBuffer buffer(65536);
  // CH1: offset 100, two output steps per raw step. CH2: offset 128, half a step.
  const struct {
    uint8_t raw1, raw2, want1, want2;
  } cases[] = {
      {100, 128, 128, 128},  // the offsets read as 0 V
      {110, 138, 148, 133},  // (110-100)*2+128, (138-128)/2+128
      {0, 0, 0, 64},         // CH1 below 0 clamps to 0
      {200, 255, 255, 191},  // CH1 above 255 clamps to 255
      {99, 127, 126, 127},   // 127.5 truncates to 127
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    buffer[i] = 0xABCDu | static_cast<uint32_t>(cases[i].raw1) << 16 | static_cast<uint32_t>(cases[i].raw2) << 24;
  CalibrateFully(Fixed20(100), Fixed20(0.15625), Fixed20(128), Fixed20(0.0390625));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(buffer[i] & 0xFFFFu, 0xABCDu);
    EXPECT_EQ((buffer[i] >> 16) & 0xFF, cases[i].want1);
    EXPECT_EQ(buffer[i] >> 24, cases[i].want2);
  }
}

TEST(Calibration, EachCompletedPassStartsAfreshWithNewConstants) {
  test::ScopedBuffer buffer(65536);
  buffer[7] = 100u << 16 | 100u << 24;
  CalibrateFully(Fixed20(100), Fixed20(0.078125), Fixed20(100), Fixed20(0.078125));
  EXPECT_EQ(buffer[7], 128u << 16 | 128u << 24);
  // The second pass builds its tables from its own arguments.
  CalibrateFully(Fixed20(128), Fixed20(0.15625), Fixed20(128), Fixed20(0.078125));
  EXPECT_EQ(buffer[7], 128u << 16 | 128u << 24);
  buffer[7] = 130u << 16;
  CalibrateFully(Fixed20(128), Fixed20(0.15625), Fixed20(128), Fixed20(0.078125));
  EXPECT_EQ((buffer[7] >> 16) & 0xFF, 132u);
}

TEST(Calibration, EmptyOrFreedBufferIsDoneAtOnce) {
  test::ScopedBuffer empty(0);
  EXPECT_EQ(CalibrateScope(1, 2, 3, 4), 0);
}

TEST(ScopeData, ChannelBytesWithIndexBounds) {
  std::vector<uint32_t> words = {0x11223344, 0x55667788, 0x99AABBCC};
  test::UseHostBuffer(words, 3);
  EXPECT_EQ(ScopeData(0, TQLA_CH1), 0x22);
  EXPECT_EQ(ScopeData(0, TQLA_CH2), 0x11);
  EXPECT_EQ(ScopeData(1, 7), 0x55);  // any channel but 1 is CH2
  EXPECT_EQ(ScopeData(-1, TQLA_CH1), 0);
  EXPECT_EQ(ScopeData(3 + 5, TQLA_CH2), 0x99);  // past the end reads the last word
  EXPECT_EQ(ScopeData(0x7FFFFFFF, TQLA_CH1), 0xAA);
  SetCurrentBuffer(words.data(), 0, 3);
  EXPECT_EQ(ScopeData(0, TQLA_CH1), 0);
  SetCurrentBuffer(nullptr, 0, 0);
}

TEST(ScopeData, ClearScopeDataZeroesTheSecondArrayAndGainIs123) {
  test::ScopedBuffer buffer(65536);
  WordSpan second = EnsureSecondArray(65536);
  ASSERT_FALSE(second.empty());
  second.words[0] = 5;
  second.words[65535] = 6;
  EXPECT_EQ(ClearScopeData(), 1);
  EXPECT_EQ(second.words[0], 0u);
  EXPECT_EQ(second.words[65535], 0u);
  EXPECT_EQ(GetGain(), 123);
}

}  // namespace
}  // namespace tqla
