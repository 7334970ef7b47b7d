#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "test_support.h"

namespace tqla {
namespace {

using Screen = std::array<std::vector<uint8_t>, 16>;
// The pixel codes, short for the columns the tests expect.
constexpr uint8_t L = TQLA_PIXEL_LOW, H = TQLA_PIXEL_HIGH, X = TQLA_PIXEL_CHANGING;
enum class Variant { Whole, WholeSG, New, NewSG };

Screen Draw(Variant v, uint32_t* samples, int32_t start, uint32_t width, uint32_t a, uint32_t b = 0) {
  Screen s;
  for (auto& channel : s) channel.assign(width, 0xEE);
  uint8_t* c[16];
  for (int k = 0; k < 16; ++k) c[k] = s[k].data();
#define TQLA_CHANNELS c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], c[13], c[14], c[15]
  switch (v) {
    case Variant::Whole: ScaleDataToScreen(samples, TQLA_CHANNELS, start, width, a, b); break;
    case Variant::WholeSG: ScaleDataToScreenSG(samples, TQLA_CHANNELS, start, width, a, b); break;
    case Variant::New: ScaleDataToScreenNew(samples, TQLA_CHANNELS, start, width, a); break;
    case Variant::NewSG: ScaleDataToScreenNewSG(samples, TQLA_CHANNELS, start, width, a); break;
  }
#undef TQLA_CHANNELS
  return s;
}

// The drawing worked out one sample at a time, as the host sees it.
Screen Reference(Variant v, const std::vector<uint32_t>& words, int64_t s, int64_t W, uint32_t a, uint32_t b) {
  const bool packed = v == Variant::WholeSG || v == Variant::NewSG;
  const int64_t D = packed ? 2 * int64_t(words.size()) : int64_t(words.size());
  Screen out;
  for (auto& channel : out) channel.assign(W, X);
  auto column = [&](int64_t c, const std::vector<int64_t>& indexes) {
    uint32_t all = 0xFFFF, any = 0;
    bool seen = false;
    for (int64_t i : indexes) {
      if (i < 0 || i >= D) continue;
      const uint32_t value = packed ? (i % 2 ? words[i / 2] & 0xFFFF : words[i / 2] >> 16) : words[i] & 0xFFFF;
      all &= value, any |= value, seen = true;
    }
    for (int k = 0; k < 16; ++k) out[k][c] = !seen || ((all ^ any) >> k & 1) ? X : (any >> k & 1);
  };
  if (D == 0 || s >= D) return out;
  int64_t F, E, first = s < 0 ? 0 : s;
  std::vector<int64_t> indexes;
  if (v == Variant::Whole || v == Variant::WholeSG) {
    const int64_t spp = a, pps = b;
    if (!spp && !pps) return out;
    F = s >= 0 ? 0 : spp ? -s / spp : -s * pps;
    const int64_t span = spp ? (W + 1) * spp : W / pps;
    E = s + span >= D ? std::max<int64_t>(0, spp ? (D - s) / spp - 2 : (D - s) * pps - 2) : W;
    if (packed) first -= first % 2;
    for (int64_t c = std::min(F, W); c < std::min(E, W); ++c) {
      indexes.clear();
      if (pps) indexes.push_back(first + (c - F) / pps);
      for (int64_t j = 0; !pps && j < spp; ++j) indexes.push_back(first + (c - F) * spp + j);
      column(c, indexes);
    }
    return out;
  }
  if (a == 0) return out;
  const double r = a / double(TQLA_SCALE_UNIT);
  F = s < 0 ? int64_t(-s / r) : 0;
  E = s + int64_t((W + 1) * r) >= D ? std::max<int64_t>(0, int64_t((D - s) / r - 2.0)) : W;
  double P = first;
  const int64_t m = a / TQLA_SCALE_UNIT;
  for (int64_t c = std::min(F, W); c < std::min(E, W); ++c, P += r) {
    const int64_t from = P >= 2.0 ? int64_t(P) - 2 : packed ? int64_t(P) : 0;
    indexes.clear();
    if (!packed || m == 0) {
      for (int64_t j = 0; j < (packed ? 1 : m + 1); ++j) indexes.push_back(from + j);
    } else {
      for (int64_t i = from; int64_t(indexes.size()) < m + 1; i += 2) indexes.insert(indexes.end(), {i, i + 1});
    }
    column(c, indexes);
  }
  return out;
}

class LogicScaling : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentBuffer(nullptr, 0, 0); }
  // Channel k changes level with a chance of 1 in 2^k per sample: quiet and
  // busy channels side by side.
  void Fill(uint32_t words, std::mt19937& rng) {
    words_.assign(words, 0);
    uint32_t level = rng();
    for (uint32_t& w : words_) {
      for (int k = 0; k < 16; ++k)
        if ((rng() & ((1u << k) - 1)) == 0) level ^= 1u << k;
      w = level;
    }
    test::UseHostBuffer(words_, words);
  }
  std::vector<uint32_t> words_;
};

TEST_F(LogicScaling, MatchesSampleBySampleDrawingOverRandomWindows) {
  std::mt19937 rng(7);
  const uint32_t extents[] = {0, 1, 2, 3, 5, 64, 257, 1000, 4099};
  for (int round = 0; round < 3000; ++round) {
    const auto v = static_cast<Variant>(round % 4);
    if (round % 40 == 0) Fill(extents[rng() % 9], rng);
    const int64_t D = int64_t(words_.size()) * (v == Variant::WholeSG || v == Variant::NewSG ? 2 : 1);
    const int32_t start = int32_t(rng() % (2 * D + 60)) - int32_t(D / 2 + 30);
    const uint32_t width = rng() % 400;
    uint32_t a, b = 0;
    if (v == Variant::New || v == Variant::NewSG) {
      const uint32_t scales[] = {256, 512, 700, 1024, 1500, 2048, 3072, 4096, 5000, 65536};
      a = rng() % 3 ? scales[rng() % 10] : 1 + rng() % 70000;
    } else {
      a = rng() % 2 ? 1 + rng() % 40 : 0;
      b = a == 0 || rng() % 8 == 0 ? 1 + rng() % 6 : 0;
    }
    ASSERT_EQ(Draw(v, words_.data(), start, width, a, b), Reference(v, words_, start, width, a, b))
        << "variant " << int(v) << " D " << D << " start " << start << " width " << width << " zoom " << a
        << "/" << b;
  }
}

TEST_F(LogicScaling, WindowEdges) {
  std::vector<uint32_t> words(1000);
  for (uint32_t i = 0; i < 1000; ++i) words[i] = (i & 1) | (1u << 5);
  test::UseHostBuffer(words, 1000);
  Screen s = Draw(Variant::Whole, words.data(), 0, 800, 1);  // span 801 < 1000: all drawn
  for (uint32_t c = 0; c < 800; ++c) ASSERT_EQ(s[0][c], c & 1);
  s = Draw(Variant::Whole, words.data(), 900, 800, 1);  // reaches the end: E = 98
  for (uint32_t c = 0; c < 800; ++c) ASSERT_EQ(s[0][c], c < 98 ? (c & 1) : X) << c;
  s = Draw(Variant::Whole, words.data(), -10, 20, 2);  // 5 columns before the data
  EXPECT_EQ(s[0], std::vector<uint8_t>(20, X));
  EXPECT_EQ(s[5], (std::vector<uint8_t>{X, X, X, X, X, H, H, H, H, H, H, H, H, H, H, H, H, H, H, H}));
  words[2] |= 1u << 3;
  s = Draw(Variant::Whole, words.data(), 0, 16, 0, 4);  // zoomed in: four columns per sample
  EXPECT_EQ(s[3], (std::vector<uint8_t>{L, L, L, L, L, L, L, L, H, H, H, H, L, L, L, L}));
}

TEST_F(LogicScaling, NewWindowsStartTwoSamplesBehindThePosition) {
  std::vector<uint32_t> words(100, 0);
  for (uint32_t i = 10; i < 100; ++i) words[i] = 1;
  test::UseHostBuffer(words, 100);
  Screen s = Draw(Variant::New, words.data(), 0, 8, 2 * TQLA_SCALE_UNIT);  // columns at 0, 2, 4, ... cover 3 samples
  EXPECT_EQ(s[0], (std::vector<uint8_t>{L, L, L, L, L, X, H, H}));
  words.assign(100, 0);
  words[1] = 1;
  s = Draw(Variant::New, words.data(), 0, 10, TQLA_SCALE_UNIT / 2);  // positions 0, 0.5, 1, ...: sample 0 until 3.0
  EXPECT_EQ(s[0], (std::vector<uint8_t>{L, L, L, L, L, L, H, H, L, L}));
}

TEST_F(LogicScaling, PackedLayoutShowsTwoSamplesPerWord) {
  std::vector<uint32_t> words(10);
  for (uint32_t k = 0; k < 10; ++k) words[k] = (k & 1) << 16 | 0x0002u;  // ch0: sample 2k+1 low, ch1 on odd
  test::UseHostBuffer(words, 10);
  Screen s = Draw(Variant::WholeSG, words.data(), 0, 30, 1);  // 20 samples: E = 18
  for (uint32_t c = 0; c < 30; ++c) ASSERT_EQ(s[1][c], c >= 18 ? X : c & 1) << c;
  s = Draw(Variant::WholeSG, words.data(), 3, 4, 1);  // an odd start draws from the even sample before
  EXPECT_EQ(s[1], (std::vector<uint8_t>{L, H, L, H}));
  EXPECT_EQ(s[0], (std::vector<uint8_t>{H, L, L, L}));
}

TEST_F(LogicScaling, ZeroZoomAndMissingArrays) {
  std::vector<uint32_t> words(64, 0xFFFF);
  test::UseHostBuffer(words, 64);
  for (Variant v : {Variant::Whole, Variant::WholeSG, Variant::New, Variant::NewSG})
    EXPECT_EQ(Draw(v, words.data(), 0, 5, 0, 0)[7], std::vector<uint8_t>(5, X));
  EXPECT_EQ(Draw(Variant::New, nullptr, 0, 5, TQLA_SCALE_UNIT)[0], std::vector<uint8_t>(5, X));
  std::vector<uint8_t> c(5, 0xEE);
  uint8_t* p = c.data();
  ScaleDataToScreenNew(words.data(), p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, nullptr, 0, 5, TQLA_SCALE_UNIT);
  EXPECT_EQ(c, std::vector<uint8_t>(5, 0xEE));
}

TEST_F(LogicScaling, ReadsStayInsideTheStorage) {
  std::mt19937 rng(3);
  Fill(333, rng);
  std::vector<uint32_t> inside = words_;
  sampleBuffer.CapturedLength.store(5000);  // more than the buffer holds
  for (Variant v : {Variant::Whole, Variant::WholeSG, Variant::New, Variant::NewSG})
    for (uint32_t zoom : {1u, 3u, 1024u, 3000u})
      EXPECT_EQ(Draw(v, words_.data(), 100, 1000, zoom), Reference(v, inside, 100, 1000, zoom, 0));
}

}  // namespace
}  // namespace tqla
