// The libusb backend at the pod's full rate on the emulated USB bus: the
// simulated pod's FX2 model answers the usbfs requests that libusb makes, so
// the figures include the emulation's own cost (every request and
// completion crosses a socket to the emulation's thread).
//  - a buffered capture of 16 digital and 2 analog channels at 24 MS/s, 2 x 48
//    MB/s through two queues of 32 requests, with a trigger that never fires,
//    for 10 s of samples; reports the breaks (lost blocks) the pod and the
//    host count;
//  - a 16-bit stream at 24 MS/s (48 MB/s) for 10 s with a host thread
//    draining the stream ring, checking that each block continues the last.
// Both report the CPU the whole process used as a fraction of one core.
// Without the device emulation (Debian packages umockdev, libumockdev-dev)
// each benchmark is skipped with the reason.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_state.h"
#include "realtime_run.h"
#include "firmware/firmware.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"
#include "usbfs_pod.h"

namespace {

using namespace tqla::bench;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRate = 247;  // 24 MS/s
constexpr double kSamplesPerSecond = 24e6;
constexpr double kSeconds = 10;

std::string& EmulationMissing() {
  static std::string why;
  return why;
}

// A pod on the emulated bus with the stand-in images in a firmware folder
// under their real names; null when the emulation is missing.
tqla::test::UsbfsPod AddPod(benchmark::State& state) {
  if (!EmulationMissing().empty()) {
    state.SkipWithError(EmulationMissing().c_str());
    return {};
  }
  // Removed when the program ends.
  struct Folder {
    std::string path;
    Folder() {
      char pattern[] = "/tmp/tqla-bench-firmware-XXXXXX";
      path = mkdtemp(pattern);
      for (uint32_t i = 0; i < tqla::firmware::kImageCount; ++i) {
        const auto image = static_cast<tqla::firmware::Image>(i);
        const std::string file = path + "/" + tqla::firmware::ImageName(image) + ".bin";
        if (FILE* out = std::fopen(file.c_str(), "wb")) {
          std::fwrite(tqla::firmware::StandInImage(image), 1, tqla::firmware::kImageBytes, out);
          std::fclose(out);
        }
      }
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  TqlaSetFirmwareDir(folder.path.c_str());
  ClosePod();
  auto& bus = tqla::test::UsbfsBus::Get();
  bus.Clear();
  tqla::test::UsbfsPod pod = bus.AddPod(7);
  pod.model->SetSource(tqla::sim::MakeGenerated(tqla::sim::Generator::Counter));
  return pod;
}

void BM_EmulatedCapture16Plus2(benchmark::State& state) {
  constexpr uint32_t kRingWords = 16u << 20;
  for (auto _ : state) {
    const tqla::test::UsbfsPod pod = AddPod(state);
    if (!pod.model) return;
    if (!InitializeTQPod(7)) {
      state.SkipWithError("the emulated pod did not open");
      return;
    }
    uint32_t* ring = MakeBuffer(kRingWords);
    uint32_t steps[2] = {};
    const RunMeter meter;
    // Rising edge on CH1 above 255: armed at once, never met.
    if (!ring || !StartCapture(15, 1, 1, 255, kRate, 0, steps, 0, ring, kRingWords, 0)) {
      state.SkipWithError("StartCapture failed");
      return;
    }
    int32_t breaks = 0;
    const uint64_t samples = FollowCapture(kRingWords, kSamplesPerSecond, kSeconds, breaks);
    const double wall = meter.Seconds();
    meter.Report(state);
    state.counters["status_breaks"] = breaks;
    state.counters["host_breaks"] = tqla::captureState.HostBreaks.load();
    state.counters["digital_fx2_breaks"] = pod.model->Digital().BreakCounter();
    state.counters["analog_fx2_breaks"] = pod.model->Analog().BreakCounter();
    state.counters["sample_seconds"] = samples / kSamplesPerSecond;
    state.counters["MSps"] = samples / wall / 1e6;
    StopCapture();
    DeleteBuffer(ring);
    ClosePod();
  }
}
BENCHMARK(BM_EmulatedCapture16Plus2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_EmulatedStream16(benchmark::State& state) {
  for (auto _ : state) {
    const tqla::test::UsbfsPod pod = AddPod(state);
    if (!pod.model) return;
    if (!InitializeTQExtractor(7, 0) || !StartStreamingCapture16(kRate, 2, nullptr, 0, nullptr, 0, 0)) {
      state.SkipWithError("the stream did not start");
      return;
    }
    const RunMeter meter;
    const auto start = meter.Start();
    // The counter's low byte must go on from block to block.
    uint64_t seams = 0;
    int previous = -1;
    const StreamDrain drain = DrainStream(kSeconds, &pod.model->Digital(), start, [&](const uint8_t* block) {
      if (previous >= 0 && block[0] != static_cast<uint8_t>(previous + 1)) ++seams;
      previous = block[65534];
    });
    const double wall = meter.Seconds();
    meter.Report(state);
    state.counters["first_break_s"] = drain.firstBreak;
    state.counters["blocks"] = static_cast<double>(drain.blocks);
    state.counters["blocks_sent"] = wall * kSamplesPerSecond * 2 / 65536;
    state.counters["seams"] = static_cast<double>(seams);
    state.counters["overflows"] = static_cast<double>(drain.overflows);
    state.counters["fx2_breaks"] = pod.model->Digital().BreakCounter();
    StopStream();
    ClosePod();
  }
}
BENCHMARK(BM_EmulatedStream16)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  tqla::test::RunUnderEmulation(argc, argv, EmulationMissing());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
