// The trigger engine, the ring bookkeeping and the rotation, fed batch by
// batch as the block processors feed them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

#include "capture/capture_state.h"
#include "capture/trigger_engine.h"
#include "frame/sample_buffer.h"

namespace tqla {
namespace {

constexpr uint32_t kBatch = 32768;

struct Arming {
  uint8_t mode = 0;
  std::vector<std::pair<uint32_t, uint32_t>> steps;
  int32_t stepCount = 0;  // -1 switches the engine off
  uint32_t channel = 1, level = 128;
  uint32_t post = 65536;
};

class TriggerEngine : public ::testing::Test {
 protected:
  void Arm(const Arming& s, uint32_t length) {
    ring_.assign(length, 0);
    ResetCapture();
    captureRing = Ring{ring_.data(), length};
    CaptureState& c = captureState;
    c.SkipBlocks = 2;
    c.TriggerStepCount = s.stepCount < 0 ? kTriggerOff : static_cast<uint32_t>(s.steps.size());
    for (size_t k = 0; k < s.steps.size(); ++k) {
      c.TriggerMask[k] = s.steps[k].first;
      c.TriggerValue[k] = s.steps[k].second;
    }
    c.AnalogTriggerMode = s.mode;
    c.AnalogTriggerChannel = s.channel;
    sampleBuffer.AnalogTriggerLevel = s.level;
    if (s.mode == 1) c.AnalogTriggerState = 255;
    c.PostStoreCount = c.PostStoreTotal = s.post & 0xFFFF0000u;
    c.ProcessedPointer = ring_.data();
    c.Running = 1;
    sampleBuffer.CapturedLength = 0;
  }
  // Feeds the next batch of n words; false once the engine has ended the run.
  bool Feed(uint32_t n = kBatch) {
    uint32_t* p = captureState.ProcessedPointer;
    TriggerEngineBatch(p, n);
    return captureState.Running != 0;
  }
  // Feeds batches until the run ends; the number fed.
  int FeedToEnd(int limit = 100) {
    for (int fed = 1; fed <= limit; ++fed)
      if (!Feed()) return fed;
    return -1;
  }
  std::vector<uint32_t> ring_;
};

TEST_F(TriggerEngine, ImmediateTriggersFallOnTheFirstSearchedBatch) {
  const struct {
    const char* name;
    Arming setup;
    uint32_t trigger;
  } kCases[] = {
      {"mode 0 ignores the steps", {0, {{1, 1}}, 1}, 2 * kBatch},
      {"one step of mask 0 meets the first word searched", {1, {{0, 0}}, 1}, 2 * kBatch},
      {"mode 3 takes the word before the batch", {3, {}, 0}, 2 * kBatch - 1},
  };
  for (const auto& c : kCases) {
    Arm(c.setup, 8 * kBatch);
    // The first two batches are only stored, so the second's marks count for nothing.
    ring_[kBatch + 5] = 1;
    EXPECT_TRUE(Feed()) << c.name;
    EXPECT_TRUE(Feed()) << c.name;
    EXPECT_EQ(captureState.Triggered, 0) << c.name;
    // The trigger stretches the post-trigger part to the room left less this batch.
    EXPECT_EQ(FeedToEnd(), 6) << c.name;
    EXPECT_EQ(sampleBuffer.TriggerIndex, c.trigger) << c.name;
    EXPECT_EQ(captureState.PostStoreTotal, 8 * kBatch - 2 * kBatch - kBatch) << c.name;
    EXPECT_EQ(captureState.PostStoreCount, 0u) << c.name;
    // The last batch fills the ring; the oldest sample is still word 0.
    EXPECT_EQ(captureState.BufferStart, 0u) << c.name;
    EXPECT_EQ(captureState.BufferEnd, 7 * kBatch) << c.name;
    EXPECT_EQ(sampleBuffer.CapturedLength, 8 * kBatch) << c.name;
  }
}

TEST_F(TriggerEngine, DigitalStepsRunAcrossBatchesAndRestart) {
  const uint32_t A = 1, B = 2, C = 4;
  const std::vector<std::pair<uint32_t, uint32_t>> abc = {{A, A}, {B, B}, {C, C}};
  const uint32_t third = 2 * kBatch;  // first searched word
  const struct {
    const char* name;
    std::vector<std::array<uint32_t, 3>> words;  // index, value, count
    int64_t trigger;                             // -1: none
  } kCases[] = {
      {"sequence across a batch end",
       {{third + kBatch - 2, A, 1}, {third + kBatch - 1, A | B, 1}, {third + kBatch, C, 1}},
       third + kBatch},
      {"words between steps that still meet the step before",
       {{third + 10, A, 2}, {third + 12, B, 28}, {third + 40, C, 1}},
       third + 40},
      // The word that breaks the sequence meets A but is not tried against it.
      {"restart skips the breaking word",
       {{third + 10, A, 1}, {third + 11, B, 1}, {third + 12, A, 1}, {third + 13, B, 1}, {third + 14, C, 1}},
       -1},
      {"restart then a whole sequence",
       {{third + 10, A, 1}, {third + 20, A, 1}, {third + 21, B, 1}, {third + 22, C, 1}},
       third + 22},
      {"steps in skipped batches count for nothing",
       {{5, A, 1}, {6, B, 1}, {kBatch + 3, C, 1}, {third + 1, C, 1}},
       -1},
  };
  for (const auto& c : kCases) {
    Arm({1, abc, 3}, 8 * kBatch);
    for (auto [index, value, count] : c.words) std::fill_n(ring_.begin() + index, count, value);
    for (int fed = 0; fed < 5; ++fed) Feed();
    if (c.trigger < 0) {
      EXPECT_EQ(captureState.Triggered, 0) << c.name;
    } else {
      EXPECT_EQ(captureState.Triggered, 1) << c.name;
      EXPECT_EQ(sampleBuffer.TriggerIndex, c.trigger) << c.name;
    }
  }
}

TEST_F(TriggerEngine, AnalogEdgesNeedToBeArmedFirst) {
  const uint32_t third = 2 * kBatch;
  const struct {
    const char* name;
    uint8_t mode;
    uint32_t channel, level, idle;  // idle at the level neither arms nor fires
    std::vector<std::pair<uint32_t, uint32_t>> bytes;  // (index, byte) from the first searched word on
    int64_t trigger;                                   // -1: none
  } kCases[] = {
      {"rising: 126 does not arm", 1, 1, 128, 128, {{0, 126}, {5, 200}}, -1},
      {"rising: 125 arms, 129 fires", 1, 1, 128, 128, {{0, 125}, {3, 128}, {7, 129}}, third + 7},
      {"rising on CH2, armed in one batch, fired in the next", 1, 2, 128, 128, {{kBatch - 1, 100}, {kBatch + 4, 140}},
       third + kBatch + 4},
      {"rising with the arming byte above the level first", 1, 1, 128, 128, {{0, 200}, {1, 100}, {2, 200}}, third + 2},
      {"falling: 131 arms, 127 fires", 2, 1, 128, 128, {{0, 131}, {3, 128}, {9, 127}}, third + 9},
      {"falling: 130 does not arm", 2, 1, 128, 128, {{0, 130}, {5, 0}}, -1},
      {"modes above 3 fall", 7, 1, 128, 128, {{0, 255}, {1, 0}}, third + 1},
      // Levels at the ends of the byte range.
      {"rising at 1: nothing lies below -1", 1, 1, 1, 1, {{0, 0}, {5, 255}}, -1},
      {"rising at 2", 1, 1, 2, 1, {{0, 0}, {5, 255}}, -1},
      {"rising at 3", 1, 1, 3, 2, {{0, 0}, {5, 4}}, third + 5},
      {"rising at 254", 1, 1, 254, 253, {{0, 251}, {4, 255}}, third + 4},
      {"rising at 255: armed from the start, nothing lies above 255", 1, 1, 255, 0, {{2, 255}}, -1},
      {"falling at 252", 2, 1, 252, 253, {{0, 255}, {6, 251}}, third + 6},
      {"falling at 253: nothing lies above 255", 2, 1, 253, 254, {{0, 255}, {3, 0}}, -1},
      {"falling at 254", 2, 1, 254, 200, {{0, 255}, {3, 0}}, -1},
      {"falling at 0: armed from the start, nothing lies below 0", 2, 1, 0, 10, {{1, 0}}, -1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Arm({c.mode, {}, 0, c.channel, c.level}, 8 * kBatch);
    const int shift = c.channel == 1 ? 16 : 24;
    for (uint32_t& w : ring_) w = c.idle << shift;
    for (auto [index, byte] : c.bytes)
      for (uint32_t i = third + index; i < ring_.size(); ++i) ring_[i] = byte << shift;
    for (int fed = 0; fed < 5; ++fed) Feed();
    EXPECT_EQ(captureState.Triggered, c.trigger < 0 ? 0 : 1);
    if (c.trigger >= 0) {
      EXPECT_EQ(sampleBuffer.TriggerIndex, c.trigger);
    }
  }
}

TEST_F(TriggerEngine, AfterTheRingWrapsThePostCountDecides) {
  const struct {
    const char* name;
    uint32_t post;
    int batchesAfterTrigger;
  } kCases[] = {
      {"post below 65536 rounds to 0 and ends at the next batch", 40000, 1},
      {"post of 65536 stores two more batches", 65536, 2},
      {"post of 131072", 131072, 4},
  };
  for (const auto& c : kCases) {
    // A step that only the seventh batch (after the wrap) meets.
    Arm({1, {{0x8000, 0x8000}}, 1, 1, 128, c.post}, 4 * kBatch);
    for (int fed = 0; fed < 6; ++fed) ASSERT_TRUE(Feed());
    EXPECT_EQ(captureState.BufferEnd, 2 * kBatch);
    EXPECT_EQ(captureState.BufferStart, 3 * kBatch) << "one batch of room once wrapped";
    ring_[2 * kBatch + 100] = 0x8000;
    ASSERT_TRUE(Feed());
    ASSERT_EQ(captureState.Triggered, 1);
    EXPECT_EQ(sampleBuffer.TriggerIndex, 2 * kBatch + 100);
    EXPECT_EQ(FeedToEnd(), c.batchesAfterTrigger) << c.name;
    // The batch that ended the run went into the room: rotated, the ring is continuous.
    EXPECT_EQ((captureState.BufferEnd + kBatch) % (4 * kBatch), captureState.BufferStart) << c.name;
  }
}

TEST_F(TriggerEngine, BatchOfSeveralBlocksKeepsTheOldestSampleRight) {
  Arm({1, {{1, 1}}, 1}, 8 * kBatch);
  for (int fed = 0; fed < 8; ++fed) Feed();
  EXPECT_EQ(captureState.BufferStart, kBatch);
  // The sides drifted: two blocks arrive as one batch.
  Feed(2 * kBatch);
  EXPECT_EQ(captureState.BufferEnd, 2 * kBatch);
  EXPECT_EQ(captureState.BufferStart, 4 * kBatch);
  // A batch across the ring's end is searched in two parts.
  captureState.ProcessedPointer = ring_.data() + 7 * kBatch;
  captureState.BufferEnd = 7 * kBatch;
  ring_[3] = 1;
  RunTriggerEngine(2 * kBatch);
  EXPECT_EQ(sampleBuffer.TriggerIndex, 3u);
  EXPECT_EQ(captureState.ProcessedPointer, ring_.data() + kBatch);
}

TEST_F(TriggerEngine, SwitchedOffItCountsAndMovesNothing) {
  Arm({0, {}, -1}, 4 * kBatch);
  for (int fed = 0; fed < 10; ++fed) TriggerEngineBatch(ring_.data(), kBatch);
  EXPECT_EQ(sampleBuffer.CapturedLength, 0u);
  EXPECT_EQ(captureState.BufferEnd, 0u);
  EXPECT_EQ(captureState.Running, 1);
}

TEST(RotateBuffer, MovesTheOldestBlockToTheFrontInPlace) {
  const struct {
    uint32_t blocks, startBlock, trigger, rotatedTrigger;
  } kCases[] = {
      {8, 3, 4 * kBatch + 7, kBatch + 7},      // trigger after the start
      {8, 3, 100, 5 * kBatch + 100},           // trigger before it
      {8, 2, 2 * kBatch, 0},                   // two cycles of four blocks
      {6, 4, 5 * kBatch + 1, kBatch + 1},      // gcd 2 again
      {2, 1, 0, kBatch},
  };
  for (const auto& c : kCases) {
    std::vector<uint32_t> words(c.blocks * kBatch);
    std::iota(words.begin(), words.end(), 0u);
    captureRing = Ring{words.data(), static_cast<uint32_t>(words.size())};
    captureState.BufferStart = c.startBlock * kBatch;
    sampleBuffer.TriggerIndex = c.trigger;
    RotateBuffer();
    for (uint32_t i = 0; i < words.size(); ++i) {
      ASSERT_EQ(words[i], (i + c.startBlock * kBatch) % words.size()) << c.blocks << "/" << c.startBlock;
    }
    EXPECT_EQ(sampleBuffer.TriggerIndex, c.rotatedTrigger);
    EXPECT_EQ(captureState.BufferStart, 0u);
    EXPECT_EQ(captureState.BufferEnd, words.size());
  }
  std::vector<uint32_t> words(2 * kBatch, 5);
  captureRing = Ring{words.data(), static_cast<uint32_t>(words.size())};
  captureState.BufferStart = 0;
  sampleBuffer.TriggerIndex = 9;
  RotateBuffer();
  EXPECT_EQ(sampleBuffer.TriggerIndex, 9u) << "a start of 0 changes nothing";
}

TEST(RoomLeft, CountsWhatCanStillBeWritten) {
  EXPECT_EQ(RoomLeft(0, 0, 131072), 131072u);
  EXPECT_EQ(RoomLeft(0, 32768, 131072), 98304u);
  EXPECT_EQ(RoomLeft(65536, 32768, 131072), 32768u);
}

}  // namespace
}  // namespace tqla
