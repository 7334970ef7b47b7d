#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "capture/capture_state.h"
#include "frame/sample_buffer.h"
#include "test_support.h"

namespace tqla {
namespace {

using Trace = std::pair<std::vector<uint32_t>, std::vector<uint32_t>>;  // minimum, maximum

constexpr uint32_t kNone = TQLA_SCOPE_NO_SAMPLE;
// The scale of ScaleScopeDataToScreenVeryNew that draws a sample over ten columns.
constexpr uint32_t kTenColumnsPerSample = TQLA_SCALE_UNIT_VERYNEW / 10;

Trace DrawNew(uint32_t* samples, uint32_t channel, int32_t start, uint32_t width, uint32_t scale) {
  Trace t{std::vector<uint32_t>(width, 999), std::vector<uint32_t>(width, 999)};
  ScaleScopeDataToScreenNew(samples, channel, t.first.data(), t.second.data(), start, width, scale);
  return t;
}

Trace DrawVeryNew(uint32_t* samples, uint32_t channel, uint32_t triggerChannel, int32_t start, uint32_t width,
                  uint32_t scale, int32_t interpolate, int32_t* shift) {
  Trace t{std::vector<uint32_t>(width, 999), std::vector<uint32_t>(width, 999)};
  ScaleScopeDataToScreenVeryNew(samples, channel, triggerChannel, t.first.data(), t.second.data(), start, width,
                                scale, shift, interpolate);
  return t;
}

// The columns worked out one sample at a time (without the trigger shift).
Trace Reference(const std::vector<uint32_t>& words, uint32_t channel, int64_t s, int64_t W, uint32_t scale,
                uint32_t unit) {
  Trace t{std::vector<uint32_t>(W, kNone), std::vector<uint32_t>(W, kNone)};
  const int64_t D = words.size();
  if (D == 0 || s >= D) return t;
  const double r = double(scale) / unit;
  const int64_t F = std::min<int64_t>(W, s < 0 ? int64_t(-s / r) : 0);
  const int64_t E = std::min<int64_t>(W, s + int64_t((W + 1) * r) >= D ? std::max(0.0, std::trunc((D - s) / r - 2.0)) : W);
  double P = s < 0 ? 0 : s;
  int64_t previous = -1;
  for (int64_t c = F; c < E; ++c, P += r) {
    const bool zoomedOut = scale / unit >= 1;
    const int64_t from = zoomedOut ? int64_t(P - 0.5) : int64_t(P);
    if (!zoomedOut && unit == TQLA_SCALE_UNIT_VERYNEW && from == previous) continue;
    previous = from;
    uint32_t low = kNone, high = 0;
    for (int64_t i = from; i <= from + (zoomedOut ? int64_t(r) : 0) && i < D; ++i) {
      const uint32_t v = (words[i] >> (channel == TQLA_CH1 ? TQLA_CH1_SHIFT : TQLA_CH2_SHIFT)) & 0xFF;
      low = std::min(low, v), high = std::max(high, v);
    }
    t.first[c] = low, t.second[c] = high == 0 && low == kNone ? kNone : high;
  }
  return t;
}

class ScopeScaling : public ::testing::Test {
 protected:
  void SetUp() override {
    words_.assign(2000, 0x80800000u);
    test::UseHostBuffer(words_, 2000);
    sampleBuffer.TriggerIndex = 1000;
    sampleBuffer.AnalogTriggerLevel = 128;
  }
  void TearDown() override {
    SetCurrentBuffer(nullptr, 0, 0);
    sampleBuffer.TriggerIndex = 0;
  }
  void SetCh1(uint32_t i, uint32_t v) { words_[i] = (words_[i] & ~0x00FF0000u) | v << 16; }
  std::vector<uint32_t> words_;
};

TEST_F(ScopeScaling, MatchesSampleBySampleColumnsOverRandomWindows) {
  std::mt19937 rng(11);
  for (int round = 0; round < 2000; ++round) {
    if (round % 50 == 0) {
      words_.resize(rng() % 3000);
      for (uint32_t& w : words_) w = rng();
      test::UseHostBuffer(words_, words_.size());
    }
    const int64_t D = words_.size();
    const int32_t start = int32_t(rng() % (2 * D + 60)) - int32_t(D / 2 + 30);
    const uint32_t width = 1 + rng() % 500, channel = 1 + rng() % 2;
    const bool veryNew = round % 2;
    const uint32_t unit = veryNew ? TQLA_SCALE_UNIT_VERYNEW : TQLA_SCALE_UNIT;
    const uint32_t scale = rng() % 3 ? unit * (1 + rng() % 20) : 1 + rng() % (40 * unit);
    int32_t shift = 7;
    const Trace drawn = veryNew ? DrawVeryNew(words_.data(), channel, channel, start, width, scale, 0, &shift)
                                : DrawNew(words_.data(), channel, start, width, scale);
    ASSERT_EQ(drawn, Reference(words_, channel, start, width, scale, unit))
        << "D " << D << " start " << start << " width " << width << " scale " << scale << " / " << unit;
    if (veryNew) {
      ASSERT_EQ(shift, 0);
    }
  }
}

TEST_F(ScopeScaling, ColumnEdges) {
  for (uint32_t i = 0; i < 2000; ++i) SetCh1(i, i % 200);
  Trace t = DrawNew(words_.data(), TQLA_CH1, 0, 6, TQLA_SCALE_UNIT);  // two samples per column, half a sample back
  EXPECT_EQ(t.first, (std::vector<uint32_t>{0, 0, 1, 2, 3, 4}));
  EXPECT_EQ(t.second, (std::vector<uint32_t>{1, 1, 2, 3, 4, 5}));
  EXPECT_EQ(DrawNew(words_.data(), TQLA_CH1, 0, 4, TQLA_SCALE_UNIT / 2).first, (std::vector<uint32_t>{0, 0, 1, 1}));
  int32_t shift;
  t = DrawVeryNew(words_.data(), TQLA_CH1, TQLA_CH1, 0, 4, TQLA_SCALE_UNIT_VERYNEW / 2, 0, &shift);
  EXPECT_EQ(t.first, (std::vector<uint32_t>{0, kNone, 1, kNone}));
  EXPECT_EQ(t.second, t.first);
  EXPECT_EQ(DrawNew(words_.data(), TQLA_CH1, -5, 7, TQLA_SCALE_UNIT).first,
            (std::vector<uint32_t>{kNone, kNone, kNone, kNone, kNone, 0, 0}));
  EXPECT_EQ(DrawNew(words_.data(), TQLA_CH2, 0, 3, TQLA_SCALE_UNIT).second,
            (std::vector<uint32_t>{128, 128, 128}));  // CH2
  EXPECT_EQ(DrawNew(words_.data(), TQLA_CH1, 0, 3, 0).first, (std::vector<uint32_t>(3, kNone)));
}

TEST_F(ScopeScaling, TriggerCrossingShiftsBothChannels) {
  for (uint32_t i = 0; i < 2000; ++i) words_[i] = (i % 256) << 24 | 100u << 16;
  struct Case {
    std::vector<std::pair<uint32_t, uint32_t>> samples;  // CH1 values around the trigger sample
    uint32_t scale;
    int32_t shift;
  } cases[] = {
      {{{1000, 120}, {1001, 136}}, TQLA_SCALE_UNIT_VERYNEW, 0},            // offset -0.5 columns
      {{{1000, 120}, {1001, 136}}, kTenColumnsPerSample, -5},              // -0.5 samples at ten columns per sample
      {{{1000, 128}, {1001, 128}, {1002, 200}}, kTenColumnsPerSample, 0},  // flat at the level: offset 0
      {{{999, 150}, {1002, 150}}, kTenColumnsPerSample, -15},              // d = 1 is tried before d = -1
      {{{999, 150}}, kTenColumnsPerSample, 5},                             // crossing before the trigger moves right
      {{{995, 150}}, kTenColumnsPerSample, 0},                             // too far away: no crossing
  };
  for (const Case& c : cases) {
    for (uint32_t i = 990; i < 1010; ++i) SetCh1(i, 100);
    for (auto [i, v] : c.samples) SetCh1(i, v);
    int32_t shift = 99, otherShift = 99, unused;
    const Trace still = DrawVeryNew(words_.data(), TQLA_CH2, TQLA_CH2, 900, 300, c.scale, 0, &unused);
    const Trace trigger = DrawVeryNew(words_.data(), TQLA_CH1, TQLA_CH1, 900, 300, c.scale, 1, &shift);
    const Trace other = DrawVeryNew(words_.data(), TQLA_CH2, TQLA_CH1, 900, 300, c.scale, 1, &otherShift);
    EXPECT_EQ(shift, c.shift);
    EXPECT_EQ(otherShift, c.shift);
    const int k = c.shift;
    for (int i = 0; i < 300; ++i) {
      const int from = i - k;
      if (k <= 0 ? i < 300 + k : i > k) EXPECT_EQ(other.first[i], still.first[from]) << i;
      else EXPECT_EQ(other.first[i], still.first[i]) << i;  // left behind
    }
  }
}

TEST_F(ScopeScaling, TriggerOffsetUseAndReset) {
  SetCh1(1000, 120);
  SetCh1(1001, 136);
  int32_t shift;
  DrawVeryNew(words_.data(), TQLA_CH1, TQLA_CH1, 0, 10, kTenColumnsPerSample, 1, &shift);
  DrawVeryNew(words_.data(), TQLA_CH2, TQLA_CH1, 0, 10, kTenColumnsPerSample, 0, &shift);  // no interpolation: no shift
  EXPECT_EQ(shift, 0);
  DrawVeryNew(words_.data(), TQLA_CH2, TQLA_CH1, 0, 10, kTenColumnsPerSample, 1, &shift);  // the stored offset survives
  EXPECT_EQ(shift, -5);
  SetCh1(10, 120);
  SetCh1(11, 136);
  sampleBuffer.TriggerIndex = 10;  // too close to the start to search
  DrawVeryNew(words_.data(), TQLA_CH1, TQLA_CH1, 0, 10, kTenColumnsPerSample, 1, &shift);
  DrawVeryNew(words_.data(), TQLA_CH2, TQLA_CH1, 0, 10, kTenColumnsPerSample, 1, &shift);
  EXPECT_EQ(shift, 0);
  SetCh1(1501, 120);
  SetCh1(1502, 136);
  sampleBuffer.BufferLength = 1500;
  sampleBuffer.TriggerIndex = 1501;  // past the buffer
  DrawVeryNew(words_.data(), TQLA_CH1, TQLA_CH1, 0, 10, kTenColumnsPerSample, 1, &shift);
  EXPECT_EQ(shift, 0);
}

TEST_F(ScopeScaling, ReadsStayInsideTheStorage) {
  words_.assign(1003, 0x80640000u);  // CH1 100
  words_[996] = 0x80960000u;         // CH1 150: a crossing at d = -4, tried after d = 2..4 past the end
  test::UseHostBuffer(words_, 1003);
  sampleBuffer.BufferLength = 5000;
  sampleBuffer.CapturedLength = 5000;
  int32_t shift;
  DrawVeryNew(words_.data(), TQLA_CH1, TQLA_CH1, 990, 40, kTenColumnsPerSample, 1, &shift);
  EXPECT_EQ(shift, 35);  // -(-4 + 22/50) samples at ten columns per sample
  const Trace t = DrawNew(words_.data(), TQLA_CH1, 995, 20, TQLA_SCALE_UNIT);  // ends two columns before sample 1003
  EXPECT_EQ(t.first[5], 100u);
  EXPECT_EQ(t.first[6], kNone);
  std::vector<uint32_t> high(4, 999);
  ScaleScopeDataToScreenNew(words_.data(), TQLA_CH1, nullptr, high.data(), 0, 4, TQLA_SCALE_UNIT);
  EXPECT_EQ(high, std::vector<uint32_t>(4, 999));
}

}  // namespace
}  // namespace tqla
