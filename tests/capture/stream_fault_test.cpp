// Streaming on the simulated pod, the diagnostics, and runs that meet a
// fault: no ready byte, a stalled endpoint, a pod that leaves the bus, a host
// that closes the pod without stopping.
#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "device/device_state.h"
#include "frame/sample_buffer.h"
#include "sim_support.h"

namespace tqla {
namespace {

using test::PollFor;

class Runs : public test::SimBusTest {
 protected:
  void SetUp() override {
    SimBusTest::SetUp();
    pod_ = TqlaSimAddPod(7);  // real-time pacing
    ASSERT_EQ(InitializeTQPod(7), 1);
    TqlaSimSetSource(pod_, TQLA_SIM_SOURCE_COUNTER);
  }
  void TearDown() override {
    StopStream();
    StopCapture();
    SimBusTest::TearDown();
  }
  std::vector<uint8_t> Commands() {
    std::vector<uint8_t> bytes(TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x01, nullptr, 0));
    TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x01, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return bytes;
  }
  int32_t pod_ = 0;
  // Outlive the stops in TearDown, which rotate and calibrate them.
  std::vector<uint32_t> ring_ = std::vector<uint32_t>(262144);
  std::vector<uint32_t> host_ = std::vector<uint32_t>(65536, 7);
};

TEST_F(Runs, StreamHandsOutEveryBlockInOrder) {
  // Clock mode 4 (a streaming image, stop command) and 2 (the logic image, none).
  // Streams keep the alternate setting the pod was opened with; the
  // extractor's opening selects the one with the sample endpoint.
  ASSERT_EQ(InitializeTQExtractor(7, 0), 1);
  for (uint32_t clockMode : {TQLA_STREAM_CLOCK_IMAGE_FIRST, TQLA_STREAM_CLOCK_INTERNAL}) {
    Commands();
    ASSERT_EQ(StartStreamingCapture(TQLA_RATE_8MHZ, clockMode, nullptr, 0, nullptr, 0, 0), 1) << clockMode;
    std::vector<uint8_t> block(kStreamSlotBytes);
    int previous = -1;
    for (int blocks = 0; blocks < 40; ++blocks) {
      ASSERT_TRUE(PollFor([&] { return GetNextStreamBuffer(block.data()) == 1; })) << blocks;
      // The counter's low byte in channel order: each byte one more than the last.
      for (uint32_t i = 0; i < kStreamSlotBytes; ++i) {
        if (previous >= 0) {
          ASSERT_EQ(block[i], static_cast<uint8_t>(previous + 1)) << blocks << ":" << i;
        }
        previous = block[i];
      }
    }
    EXPECT_EQ(StreamBufferOverflow(), 0);
    EXPECT_EQ(StopStream(), 1);
    const std::vector<uint8_t> commands = Commands();
    const std::vector<uint8_t> expected =
        clockMode == TQLA_STREAM_CLOCK_INTERNAL ? std::vector<uint8_t>{1, 5} : std::vector<uint8_t>{1, 5, 0, 1};
    EXPECT_EQ(commands, expected) << clockMode;
    EXPECT_EQ(captureState.BothStopped, 1);
  }
  EXPECT_TRUE(PollFor([] { return liveThreads.load() == 0; }));
}

// A short packet ends a transfer early. Only what came is real: a capture
// drops the block and counts a break, a stream drops it and reports an
// overflow, and no host ever gets a block whose tail was never filled.
TEST_F(Runs, TransfersCutShortAreDroppedAndCounted) {
  ASSERT_TRUE(test::StartUntriggered(ring_));
  ASSERT_EQ(TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_SHORT_TRANSFER, TQLA_SIM_DIGITAL, 1000), 1);
  char running = 0;
  EXPECT_TRUE(PollFor([&] { return CaptureStatus(nullptr, &running, nullptr, nullptr, nullptr, nullptr, nullptr) == 1; }));
  EXPECT_EQ(running, 1);
  EXPECT_EQ(StopCapture(), 1);

  ASSERT_EQ(InitializeTQExtractor(7, 0), 1);
  ASSERT_EQ(StartStreamingCapture(TQLA_RATE_8MHZ, TQLA_STREAM_CLOCK_IMAGE_FIRST, nullptr, 0, nullptr, 0, 0), 1);
  std::vector<uint8_t> block(kStreamSlotBytes);
  ASSERT_TRUE(PollFor([&] { return GetNextStreamBuffer(block.data()) == 1; }));
  ASSERT_EQ(TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_SHORT_TRANSFER, TQLA_SIM_DIGITAL, 1000), 1);
  bool overflow = false;
  for (int blocks = 0; blocks < 20; ++blocks) {
    ASSERT_TRUE(PollFor([&] { return GetNextStreamBuffer(block.data()) == 1; }));
    for (uint32_t i = 1; i < kStreamSlotBytes; ++i) ASSERT_EQ(block[i], static_cast<uint8_t>(block[i - 1] + 1)) << i;
    overflow |= StreamBufferOverflow() == 1;
  }
  EXPECT_TRUE(overflow);
  EXPECT_EQ(StopStream(), 1);
}

TEST_F(Runs, StartsRefuseClockModesWithoutAnImageAndPodsThatNeverStart) {
  for (uint32_t clockMode : {0u, 3u, 10u}) {
    EXPECT_EQ(StartStreamingCapture(TQLA_RATE_8MHZ, clockMode, nullptr, 0, nullptr, 0, 0), 0) << clockMode;
    EXPECT_EQ(StartStreamingCapture16(TQLA_RATE_8MHZ, clockMode, nullptr, 0, nullptr, 0, 0), 0) << clockMode;
  }
  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_NO_READY_BYTE, 0, 0);
  ASSERT_EQ(InitializeTQExtractor(7, 0), 1);
  EXPECT_EQ(StartStreamingCapture(TQLA_RATE_8MHZ, TQLA_STREAM_CLOCK_IMAGE_FIRST, nullptr, 0, nullptr, 0, 0), 0);
  EXPECT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_1MHZ, 0,
                         nullptr, 0, ring_.data(), 65536, 0),
            0);
  EXPECT_EQ(captureState.Running, 0);
  EXPECT_EQ(liveThreads.load(), 0);
}

TEST_F(Runs, StalledEndpointIsClearedAndTheCaptureGoesOn) {
  ASSERT_TRUE(test::StartUntriggered(ring_));
  ASSERT_EQ(TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_STALL, TQLA_SIM_DIGITAL, 0x86), 1);
  // Ten batches more than any request that was in flight at the stall.
  EXPECT_TRUE(test::CaptureMovesOn(10));
  char running = 0;
  CaptureStatus(nullptr, &running, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(running, 1);
  EXPECT_EQ(StopCapture(), 1);
}

TEST_F(Runs, UnpluggedPodEndsTheRun) {
  ASSERT_TRUE(test::StartUntriggered(ring_, true));
  ASSERT_EQ(TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_UNPLUG, 0, 0), 1);
  test::ExpectCaptureEndedByUnplug();
}

TEST_F(Runs, ClosingThePodEndsARunTheHostNeverStopped) {
  ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_8, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_1MHZ, 0,
                         nullptr, -1, ring_.data(), 131072, 0),
            1);
  ASSERT_TRUE(PollFor([] { return liveThreads.load() == 1; }));
  ClosePod();
  EXPECT_EQ(liveThreads.load(), 0);
  ASSERT_EQ(InitializeTQPod(7), 1);
  ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_8, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_1MHZ, 0,
                         nullptr, -1, ring_.data(), 131072, 0),
            1);
  // A new start ends the run before it: only one thread per FX2.
  ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_8, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_1MHZ, 0,
                         nullptr, -1, ring_.data(), 131072, 0),
            1);
  EXPECT_EQ(liveThreads.load(), 1);
  EXPECT_EQ(StopCapture(), 1);
}

TEST_F(Runs, GetAllSignalsAveragesTheScopeAndKeepsTheHostBuffer) {
  const uint32_t word = 0x0AB41234u;  // CH1 180, CH2 10
  TqlaSimSetSamples(pod_, &word, 1, 1);
  SetCurrentBuffer(host_.data(), 65536, 65536);
  int32_t ch1 = 0, ch2 = 0;
  uint32_t digital = 0;
  ASSERT_EQ(GetAllSignals(&ch1, &ch2, &digital), 1u);
  EXPECT_EQ(ch1, 406);   // (180 - 128) x 7.8125
  EXPECT_EQ(ch2, -921);  // (10 - 128) x 7.8125, toward zero
  EXPECT_EQ(digital, 0x1234u);
  EXPECT_EQ(sampleBuffer.SampleBuffer, host_.data());
}

TEST_F(Runs, TestItPassesWhenNothingIsLostAndFailsWhenTheBusIsTooSlow) {
  SetCurrentBuffer(host_.data(), 65536, 65536);
  EXPECT_EQ(TestIt(TQLA_RATE_1MHZ), TQLA_RATE_1MHZ);
  EXPECT_EQ(sampleBuffer.SampleBuffer, host_.data()) << "the host's buffer is current again";
  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_BANDWIDTH, 1000000, 0);
  EXPECT_EQ(TestIt(TQLA_RATE_12MHZ), 0);
}

}  // namespace
}  // namespace tqla
