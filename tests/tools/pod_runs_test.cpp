// The tool's capture and stream commands on a simulated pod that is
// interrupted, times out or leaves the bus: what they keep, how they mark it
// and what they exit with.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "capture.h"
#include "capture/capture_state.h"
#include "cli.h"
#include "commands.h"
#include "frame/sample_buffer.h"
#include "pod_capture.h"
#include "sim_support.h"
#include "test_support.h"
#include "tool_run.h"

namespace tqla::cli {
namespace {

using test::PollFor;

class PodRuns : public test::SimBusTest {
 protected:
  void SetUp() override {
    SimBusTest::SetUp();
    pod_ = TqlaSimAddPod(7);
    const uint32_t low = 0;  // d0 never rises: a trigger on it never comes
    TqlaSimSetSamples(pod_, &low, 1, 1);
    sampleBuffer.CapturedLength.store(0);
  }
  // The command's capture runs (so its Ctrl-C guard stands) and has samples.
  static bool Capturing() {
    return captureState.Running.load() == 1 && sampleBuffer.CapturedLength.load() > 0;
  }
  // Waits (bounded) for a command started with std::async; a run that does
  // not end is stopped as Ctrl-C would stop it, and the test fails.
  void ExpectEnds(std::future<int>& run) {
    if (run.wait_for(std::chrono::seconds(30)) == std::future_status::ready) return;
    ADD_FAILURE() << "the command did not end";
    std::raise(SIGINT);
    run.wait();
  }
  std::vector<std::string> NeverTriggered(const std::string& path) {
    return {"-o", path, "-t", "0=1", "--samples", "65536", "-r", "1M", "-c", "8", "-a", "0"};
  }
  test::TempDir dir_;
  int32_t pod_ = 0;
};

TEST_F(PodRuns, CtrlCAndTheTimeOutKeepTheCaptureMarkedAsCutShort) {
  const std::string path = dir_.file("c.tqc");
  std::future<int> run = std::async(std::launch::async, [&] { return RunWords(RunCapture, NeverTriggered(path)); });
  ASSERT_TRUE(PollFor(Capturing));
  std::raise(SIGINT);
  ExpectEnds(run);
  EXPECT_EQ(run.get(), kExitCutShort);
  const Capture interrupted = LoadCapture(path);
  EXPECT_EQ(interrupted.cutShort, "Ctrl-C");
  EXPECT_FALSE(interrupted.samples.empty());
  const std::vector<uint8_t> bytes = test::ReadAll(path);
  EXPECT_EQ(std::string(bytes.begin() + 40, bytes.begin() + 60), std::string("cut short: Ctrl-C\0\0\0", 20));

  std::vector<std::string> words = NeverTriggered(path);
  words.insert(words.end(), {"--timeout", "50ms"});
  EXPECT_EQ(RunWords(RunCapture, words), kExitCutShort);
  EXPECT_EQ(LoadCapture(path).cutShort, "time-out");
}

TEST_F(PodRuns, AnUnpluggedPodFailsTheCaptureAndKeepsNothing) {
  const std::string path = dir_.file("c.tqc");
  std::future<int> run = std::async(std::launch::async, [&] { return RunWords(RunCapture, NeverTriggered(path)); });
  ASSERT_TRUE(PollFor(Capturing));
  ASSERT_EQ(TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_UNPLUG, 0, 0), 1);
  ExpectEnds(run);
  const std::string message = Thrown([&] { run.get(); });
  EXPECT_NE(message.find("the capture failed: the pod stopped delivering samples"), std::string::npos) << message;
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(PodRuns, AnUnpluggedPodEndsTheStreamWithWhatCameBefore) {
  const std::string path = dir_.file("s.bin");
  std::future<int> run = std::async(std::launch::async, [&] { return RunWords(RunStream, {"-r", "1M", "-o", path}); });
  // The GO command has reached the pod: the stream runs.
  ASSERT_TRUE(PollFor([&] { return TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x01, nullptr, 0) >= 2; }));
  ASSERT_EQ(TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_UNPLUG, 0, 0), 1);
  ExpectEnds(run);
  const std::string message = Thrown([&] { run.get(); });
  EXPECT_NE(message.find("the pod stopped answering (unplugged?) and the stream ended; " + path + " holds the "),
            std::string::npos)
      << message;
  EXPECT_TRUE(std::filesystem::exists(path)) << "the samples streamed before are kept";
}

}  // namespace
}  // namespace tqla::cli
