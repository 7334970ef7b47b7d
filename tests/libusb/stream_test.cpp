// Streams and captures through the libusb backend's asynchronous queues,
// against the emulated pod at its true sample rate.
#include "usbfs_fixture.h"

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "frame/sample_buffer.h"

namespace tqla {
namespace {

using test::Fx2;
using test::PollFor;
using test::UsbfsTest;

class UsbfsRuns : public UsbfsTest {
 protected:
  void SetUp() override {
    UsbfsTest::SetUp();
    if (IsSkipped()) return;
    pod_ = bus_->AddPod(7);
    pod_.model->SetSource(sim::MakeGenerated(sim::Generator::Counter));
    ASSERT_EQ(InitializeTQPod(7), 1);
  }
  void TearDown() override {
    StopStream();
    StopCapture();
    UsbfsTest::TearDown();
  }
  test::UsbfsPod pod_;
  // Outlive the stops in TearDown, which rotate and calibrate them.
  std::vector<uint32_t> ring_ = std::vector<uint32_t>(262144);
  std::vector<uint32_t> second_ = std::vector<uint32_t>(262144);
};

// A 16-bit stream through 32 requests in flight. Every block the host takes
// continues the counter's low byte where the last one ended, so no block was
// lost or repeated. The pod streams at 4 MHz here, fast enough to keep the
// queue full and slow enough for a busy machine (ThreadSanitizer slows every
// thread of the path several times over: 1 MHz); the benchmark streams at
// 24 MHz for ten seconds.
TEST_F(UsbfsRuns, StreamLosesNoBlock) {
#if defined(__SANITIZE_THREAD__)
  constexpr uint32_t kRate = TQLA_RATE_1MHZ;
#else
  constexpr uint32_t kRate = TQLA_RATE_4MHZ;
#endif
  ASSERT_EQ(InitializeTQExtractor(7, 0), 1);
  ASSERT_EQ(StartStreamingCapture16(kRate, TQLA_STREAM_CLOCK_INTERNAL, nullptr, 0, nullptr, 0, 0), 1);
  std::vector<uint8_t> block(kStreamSlotBytes);
  int previous = -1;
  // Two seconds at 4 MHz.
  for (int blocks = 0; blocks < (kRate == TQLA_RATE_4MHZ ? 245 : 40); ++blocks) {
    ASSERT_TRUE(PollFor([&] { return GetNextStreamBuffer(block.data()) == 1; })) << blocks;
    for (uint32_t i = 0; i < kStreamSlotBytes; i += 2) {
      if (previous >= 0) {
        ASSERT_EQ(block[i], static_cast<uint8_t>(previous + 1)) << blocks << ":" << i << ", pod breaks "
                                                          << int(pod_.model->Digital().BreakCounter());
      }
      previous = block[i];
    }
  }
  EXPECT_EQ(StreamBufferOverflow(), 0);
  EXPECT_EQ(pod_.model->Digital().BreakCounter(), 0);
  EXPECT_EQ(StopStream(), 1);
  EXPECT_EQ(bus_->Stats(pod_, Fx2::Digital).maxInFlight, 32u);
}

// The requests the transfer thread keeps queued are all cancelled when the
// host stops: none is left with the pod, and the stop returns.
TEST_F(UsbfsRuns, StopCaptureCancelsTheRequestsInFlight) {
  // 8 channels at 1 MHz: a block takes 65 ms, so the queue stays full.
  ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_8, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_1MHZ, 0,
                         nullptr, 0, ring_.data(), 262144, 0),
            1);
  ASSERT_TRUE(PollFor([&] { return bus_->Stats(pod_, Fx2::Digital).inFlight == 32; }));
  EXPECT_EQ(StopCapture(), 1);
  const test::UsbfsStats stats = bus_->Stats(pod_, Fx2::Digital);
  EXPECT_EQ(stats.inFlight, 0u);
  EXPECT_GE(stats.discarded, 31u) << "all but the one being handed in at the stop";
  EXPECT_EQ(stats.maxInFlight, 32u);
  EXPECT_TRUE(PollFor([] { return liveThreads.load() == 0; }));
}

TEST_F(UsbfsRuns, StalledEndpointIsClearedAndTheCaptureGoesOn) {
  ASSERT_TRUE(test::StartUntriggered(ring_));
  pod_.model->Digital().Stall(0x86);
  EXPECT_TRUE(test::CaptureMovesOn(10));
  EXPECT_EQ(captureState.Running, 1);
  EXPECT_TRUE(trace_.Contains("transfers failing, endpoint reset"));
  EXPECT_EQ(StopCapture(), 1);
}

// The pod leaves the bus in the middle of a stream: every request fails with
// ENODEV, the run ends by itself, and the library goes on with another pod.
TEST_F(UsbfsRuns, UnplugInTheMiddleOfAStreamEndsTheRun) {
  ASSERT_EQ(InitializeTQExtractor(7, 0), 1);
  ASSERT_EQ(StartStreamingCapture16(TQLA_RATE_24MHZ, TQLA_STREAM_CLOCK_INTERNAL, nullptr, 0, nullptr, 0, 0), 1);
  std::vector<uint8_t> block(kStreamSlotBytes);
  for (int blocks = 0; blocks < 20; ++blocks) {
    ASSERT_TRUE(PollFor([&] { return GetNextStreamBuffer(block.data()) == 1; }));
  }
  bus_->Unplug(pod_);
  EXPECT_TRUE(PollFor([] { return captureState.BothStopped.load() == 1; }));
  EXPECT_EQ(captureState.Running, 0);
  EXPECT_EQ(StopStream(), 1);
  EXPECT_TRUE(PollFor([] { return liveThreads.load() == 0; }));
  EXPECT_EQ(bus_->Stats(pod_, Fx2::Digital).inFlight, 0u);
  ClosePod();

  const test::UsbfsPod next = bus_->AddPod(8);
  next.model->Update([](sim::PodSettings& s) { s.realTime = false; });
  ASSERT_EQ(InitializeTQPod(8), 1);
  ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16 | TQLA_CAPTURE_ANALOG_2, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO,
                         TQLA_RATE_24MHZ, 0, nullptr, 0, ring_.data(), 262144, 65536),
            1);
  EXPECT_TRUE(PollFor([] { return captureState.Running == 0; }));
  EXPECT_EQ(StopCapture(), 1);
  EXPECT_EQ(captureState.Triggered, 1);
}

// A pod that leaves the bus during a capture: the run ends by itself and
// the status reports it as under the simulated backend.
TEST_F(UsbfsRuns, UnplugDuringACaptureEndsTheRun) {
  ASSERT_TRUE(test::StartUntriggered(ring_, true));
  bus_->Unplug(pod_);
  test::ExpectCaptureEndedByUnplug();
}

// One capture, two ways to the same model: through the simulated backend and
// through libusb and the emulated bus. The buffers and the trigger agree.
TEST_F(UsbfsRuns, CaptureGivesTheSamplesOfTheSimulatedBackend) {
  std::vector<uint32_t> source(1u << 20);
  uint32_t x = 2463534242u;
  for (uint32_t& w : source) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    w = x & ~0xC0u;
  }
  source[400001] |= 0x40;
  source[400002] |= 0x80;
  const int32_t simulated = TqlaSimAddPod(9);
  TqlaSimSetSamples(simulated, source.data(), static_cast<uint32_t>(source.size()), 1);
  TqlaSimSetRealTime(simulated, 0);
  const test::UsbfsPod emulated = bus_->AddPod(8);
  emulated.model->SetSource(sim::MakeFromWords(source.data(), static_cast<uint32_t>(source.size()), true));
  emulated.model->Update([](sim::PodSettings& s) { s.realTime = false; });

  uint32_t steps[4] = {0x40, 0x40, 0x80, 0x80};
  std::vector<uint32_t>* buffers[2] = {&ring_, &second_};
  uint32_t triggers[2] = {};
  const uint32_t ids[2] = {9, 8};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(ids[i]);
    ASSERT_EQ(InitializeTQPod(ids[i]), 1);
    ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16 | TQLA_CAPTURE_ANALOG_2, TQLA_TRIGGER_RISING, TQLA_CH1,
                           TQLA_SCOPE_ZERO, TQLA_RATE_24MHZ, 0, steps, 2, buffers[i]->data(), 262144, 65536),
              1);
    ASSERT_TRUE(PollFor([] { return captureState.Running == 0; }, std::chrono::seconds(20)));
    ASSERT_EQ(StopCapture(), 1);
    EXPECT_EQ(captureState.Triggered, 1);
    triggers[i] = sampleBuffer.TriggerIndex;
  }
  EXPECT_EQ(triggers[0], triggers[1]);
  EXPECT_TRUE(ring_ == second_);
  EXPECT_EQ(second_[triggers[1]] & 0xFFFF, source[400002] & 0xFFFF);
}

}  // namespace
}  // namespace tqla
