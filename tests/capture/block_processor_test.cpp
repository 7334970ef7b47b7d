// The block processors on their own: pin maps, the bits each configuration
// keeps, the first analog block, the spike filter, where the two sides meet,
// and the stream ring's edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "capture/block_processors.h"
#include "capture/capture_state.h"
#include "capture/trigger_engine.h"
#include "device/device_state.h"
#include "frame/sample_buffer.h"
#include "tqla/tqla.h"

namespace tqla {
namespace {

class BlockProcessors : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildPinMaps();
    ring_.assign(4 * 65536, 0xA5A5A5A5u);
    ResetCapture();
    captureRing = Ring{ring_.data(), static_cast<uint32_t>(ring_.size())};
    CaptureState& c = captureState;
    c.Running = 1;
    c.FirstAnalogBlock = 1;
    c.ProcessedPointer = c.DigitalWritePointer = c.AnalogWritePointer = ring_.data();
    c.TriggerStepCount = kTriggerOff;  // the engine is tested on its own
  }
  void TearDown() override { ResetCapture(); }
  std::vector<uint32_t> ring_;
};

TEST_F(BlockProcessors, DigitalBytesGoThroughThePinMapsKeepingTheRest) {
  std::vector<uint8_t> block(kBlockBytes);
  for (uint32_t i = 0; i < kBlockBytes; ++i) block[i] = static_cast<uint8_t>(i * 7 + 3);
  captureState.CaptureMode = kDigital16;
  ProcessDigitalBlock(block.data());
  for (uint32_t i = 0; i < kBlockBytes / 2; ++i) {
    const uint32_t expected =
        0xA5A50000u | deviceState.LowByteMap[block[2 * i]] | deviceState.HighByteMap[block[2 * i + 1]] << 8;
    ASSERT_EQ(ring_[i], expected) << i;
  }
  EXPECT_EQ(ring_[kBlockBytes / 2], 0xA5A5A5A5u);
  EXPECT_EQ(captureState.DigitalWritePointer, ring_.data() + kBlockBytes / 2);
  EXPECT_EQ(captureState.MetWritten, kBlockBytes / 2) << "alone, the digital side meets itself";

  captureState.CaptureMode = kDigital8;
  ProcessDigitalBlock(block.data());
  for (uint32_t i = 0; i < kBlockBytes; ++i)
    ASSERT_EQ(ring_[kBlockBytes / 2 + i], 0xA5A5A500u | deviceState.LowByteMap[block[i]]) << i;
}

TEST_F(BlockProcessors, AnalogFirstBlockFixFilterAndWrite) {
  std::vector<uint8_t> block(kBlockBytes, 100);
  for (int i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(10 + i);
  block[1001] = 200;  // CH2 spike at sample 500 of the odd series
  captureState.CaptureMode = kAnalog2;
  captureState.GlitchFilter = 64;
  ProcessAnalogBlock(block.data());
  // Samples 0-2 of each channel take sample 3's value.
  for (int s = 0; s < 4; ++s) {
    EXPECT_EQ(ring_[s], 0x0000A5A5u | 16u << 16 | 17u << 24) << s;
  }
  EXPECT_EQ(ring_[500] >> 24, 100u) << "spike removed";
  EXPECT_EQ(ring_[4], 0x0000A5A5u | 100u << 16 | 100u << 24);

  captureState.CaptureMode = kAnalog1;
  captureState.GlitchFilter = 0;
  std::vector<uint8_t> one(kBlockBytes, 50);
  one[0] = 1;
  one[9] = 250;
  ProcessAnalogBlock(one.data());
  const uint32_t* w = ring_.data() + kBlockBytes / 2;
  EXPECT_EQ(w[0], 0xA500A5A5u | 1u << 16) << "the fix is for the run's first block only";
  EXPECT_EQ(w[9], 0xA500A5A5u | 250u << 16) << "no filter without the glitch bit";
}

TEST(SpikeFilter, ReplacesLoneStepsOfMoreThanOne) {
  const struct {
    std::vector<uint8_t> in, out;
  } kCases[] = {
      {{10, 20, 10, 10, 10}, {10, 10, 10, 10, 10}},  // up and back
      {{10, 0, 10, 10, 10}, {10, 10, 10, 10, 10}},   // down and back
      {{10, 11, 10, 10, 10}, {10, 11, 10, 10, 10}},  // a step of one stays
      {{10, 20, 30, 40, 50}, {10, 20, 30, 40, 50}},  // a ramp stays
      {{10, 20, 15, 15, 15}, {10, 15, 15, 15, 15}},  // overshoot takes the next value
  };
  for (const auto& c : kCases) {
    std::vector<uint8_t> series = c.in;
    SpikeFilter(series.data(), 1, static_cast<uint32_t>(series.size() - 3));
    EXPECT_EQ(series, c.out);
  }
}

TEST_F(BlockProcessors, SidesMeetOncePerBatchBothHaveFilled) {
  // 8 digital and 2 analog channels: a digital block holds 65536 samples,
  // an analog block 32768, so the engine runs after every second analog block.
  captureState.CaptureMode = kDigital8 | kAnalog2;
  captureState.TriggerStepCount = 0;
  captureState.AnalogTriggerMode = 1;
  captureState.AnalogTriggerState = 255;
  captureState.SkipBlocks = 100;
  captureState.BufferStart = captureState.BufferEnd = 0;
  sampleBuffer.CapturedLength = 0;
  std::vector<uint8_t> block(kBlockBytes, 0);
  ProcessAnalogBlock(block.data());
  EXPECT_EQ(sampleBuffer.CapturedLength, 0u);
  ProcessDigitalBlock(block.data());
  EXPECT_EQ(sampleBuffer.CapturedLength, 0u);
  ProcessAnalogBlock(block.data());
  EXPECT_EQ(sampleBuffer.CapturedLength, 65536u);
  EXPECT_EQ(captureState.BufferEnd, 65536u);
  EXPECT_EQ(captureState.SkipBlocks, 99u);
}

// 16+2 channels: a side may write one batch past where both last met and no
// further, or it would overwrite the ring's oldest samples (and, a whole ring
// ahead, words the trigger engine has not seen, where its position equals the
// other side's again).
TEST_F(BlockProcessors, ASideStaysWithinABatchOfTheOther) {
  CaptureState& c = captureState;
  c.CaptureMode = kDigital16 | kAnalog2;
  c.TriggerStepCount = 1;  // a step only the first digital block holds
  c.TriggerMask[0] = 0xFFFF;
  c.TriggerValue[0] = 0x1234;
  c.TriggerStep = 0;
  c.AnalogTriggerMode = 1;
  c.SkipBlocks = 0;
  c.Triggered = 0;
  c.PostStoreCount = c.PostStoreTotal = 0x7FFF0000u;
  c.BufferStart = c.BufferEnd = 0;
  std::vector<uint8_t> first(kBlockBytes, 0), next(kBlockBytes, 0xEE), analog(kBlockBytes, 0x80);
  first[200] = deviceState.LowByteUnmap[0x34];
  first[201] = deviceState.HighByteUnmap[0x12];
  ProcessDigitalBlock(first.data());
  // The second block waits for the analog side, which here comes.
  std::thread ahead([&] { ProcessDigitalBlock(next.data()); });
  ProcessAnalogBlock(analog.data());
  ahead.join();
  EXPECT_EQ(c.Triggered, 1) << "the engine saw the first block with its own analog words";
  EXPECT_EQ(sampleBuffer.TriggerIndex, 100u);
  EXPECT_EQ(c.DigitalWritten, 65536u);
  EXPECT_EQ(c.MetWritten, 32768u);
  const uint32_t mappedEE = deviceState.LowByteMap[0xEE] | deviceState.HighByteMap[0xEE] << 8;
  EXPECT_EQ(ring_[32768] & 0xFFFF, mappedEE);

  // Here it never comes: the run fails and the block is not written.
  ProcessDigitalBlock(first.data());
  EXPECT_EQ(c.Running, 0);
  EXPECT_EQ(c.BreakCount, -1);
  EXPECT_EQ(ring_[65536], 0xA5A5A5A5u);
  c.BreakCount = 0;
}

TEST_F(BlockProcessors, NothingLandsOnceTheRunIsOver) {
  captureState.CaptureMode = kDigital16;
  captureState.Running = 0;
  std::vector<uint8_t> block(kBlockBytes, 0xFF);
  ProcessDigitalBlock(block.data());
  ProcessAnalogBlock(block.data());
  EXPECT_EQ(ring_[0], 0xA5A5A5A5u);
  EXPECT_EQ(captureState.DigitalWritePointer, ring_.data());
}

TEST_F(BlockProcessors, StreamRingHoldsAtMost199Blocks) {
  captureState.StreamMode = 1;
  StreamRing& r = streamRing;
  r.StreamWriteSlot = r.StreamReadSlot = 0;
  r.StreamOverflow = 0;
  EXPECT_EQ(StreamBufferCount(), 0u);
  EXPECT_EQ(StreamBuffersLeft(), 199u);
  std::vector<uint8_t> out(kStreamSlotBytes);
  EXPECT_EQ(GetNextStreamBuffer(out.data()), 0);

  std::vector<uint8_t> block(kBlockBytes);
  for (uint32_t n = 0; n < 199; ++n) {
    block[0] = static_cast<uint8_t>(n);
    ProcessStreamBlock(block.data());
  }
  EXPECT_EQ(StreamBufferCount(), 199u);
  EXPECT_EQ(StreamBuffersLeft(), 0u);
  EXPECT_EQ(StreamBufferOverflow(), 0);
  block[0] = 0xEE;
  ProcessStreamBlock(block.data());  // the 200th finds no slot
  EXPECT_EQ(StreamBufferCount(), 199u);
  EXPECT_EQ(StreamBufferOverflow(), 1);
  EXPECT_EQ(StreamBufferOverflow(), 0);
  for (uint32_t n = 0; n < 199; ++n) {
    ASSERT_EQ(GetNextStreamBuffer(out.data()), 1);
    ASSERT_EQ(out[0], deviceState.LowByteMap[n]) << "oldest first, mapped";
  }
  EXPECT_EQ(GetNextStreamBuffer(out.data()), 0);

  // Slot 199 is read next round, and reading it returns the index to 0.
  for (uint32_t n = 0; n < 2; ++n) ProcessStreamBlock(block.data());
  EXPECT_EQ(r.StreamWriteSlot, 1u);
  ASSERT_EQ(GetNextStreamBuffer(out.data()), 1);
  EXPECT_EQ(r.StreamReadSlot, 0u);
  ASSERT_EQ(GetNextStreamBuffer(out.data()), 1);
  EXPECT_EQ(GetNextStreamBuffer(nullptr), 0);
  captureState.StreamMode = 0;
}

}  // namespace
}  // namespace tqla
