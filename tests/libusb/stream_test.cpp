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
  std::vector<uint32_t> ring_ = std::vector<uint32_t>(262144);
};

// A 16-bit stream at 24 MHz: 48 MB/s through 32 requests in flight. Every
// block the host takes continues the counter's low byte where the last one
// ended, so no block was lost or repeated.
TEST_F(UsbfsRuns, StreamAt24MHzLosesNoBlock) {
  ASSERT_EQ(InitializeTQExtractor(7, 0), 1);
  ASSERT_EQ(StartStreamingCapture16(247, 2, nullptr, 0, nullptr, 0, 0), 1);
  std::vector<uint8_t> block(kStreamSlotBytes);
  int previous = -1;
  // 48 MB/s for two seconds; the benchmark runs it longer.
  for (int blocks = 0; blocks < 1465; ++blocks) {
    ASSERT_TRUE(PollFor([&] { return GetNextStreamBuffer(block.data()) == 1; })) << blocks;
    for (uint32_t i = 0; i < kStreamSlotBytes; i += 2) {
      if (previous >= 0) {
        ASSERT_EQ(block[i], static_cast<uint8_t>(previous + 1)) << blocks << ":" << i;
      }
      previous = block[i];
    }
  }
  EXPECT_EQ(StreamBufferOverflow(), 0);
  EXPECT_EQ(pod_.model->Digital().BreakCounter(), 0);
  EXPECT_EQ(StopStream(), 1);
  EXPECT_EQ(bus_->Stats(pod_, Fx2::Digital).maxInFlight, 32u);
}

}  // namespace
}  // namespace tqla
