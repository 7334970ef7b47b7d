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
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_state.h"
#include "cpu_usage.h"
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
  static const std::string folder = [] {
    char pattern[] = "/tmp/tqla-bench-firmware-XXXXXX";
    std::string path = mkdtemp(pattern);
    for (uint32_t i = 0; i < tqla::firmware::kImageCount; ++i) {
      const auto image = static_cast<tqla::firmware::Image>(i);
      const std::string file = path + "/" + tqla::firmware::ImageName(image) + ".bin";
      if (FILE* out = std::fopen(file.c_str(), "wb")) {
        std::fwrite(tqla::firmware::StandInImage(image), 1, tqla::firmware::kImageBytes, out);
        std::fclose(out);
      }
    }
    return path;
  }();
  TqlaSetFirmwareDir(folder.c_str());
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
    const auto threadsBefore = ThreadCpuSeconds();
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = Clock::now();
    // Rising edge on CH1 above 255: armed at once, never met.
    if (!ring || !StartCapture(15, 1, 1, 255, kRate, 0, steps, 0, ring, kRingWords, 0)) {
      state.SkipWithError("StartCapture failed");
      return;
    }
    const auto target = static_cast<uint64_t>(kSamplesPerSecond * kSeconds);
    uint64_t samples = 0;
    int32_t lastEnd = 0;
    int32_t breaks = 0;
    char running = 1;
    const auto limit = start + std::chrono::duration<double>(2 * kSeconds);
    while (samples < target && running && Clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      int32_t bufferStart = 0, end = 0, trigger = 0;
      char breakByte = 0, triggered = 0, percent = 0;
      breaks = CaptureStatus(&breakByte, &running, &triggered, &bufferStart, &end, &trigger, &percent);
      samples += static_cast<uint32_t>(end - lastEnd + static_cast<int32_t>(kRingWords)) % kRingWords;
      lastEnd = end;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const std::string perThread = ThreadCores(threadsBefore, wall);
    state.counters["status_breaks"] = breaks;
    state.counters["host_breaks"] = tqla::captureState.HostBreaks.load();
    state.counters["digital_fx2_breaks"] = pod.model->Digital().BreakCounter();
    state.counters["analog_fx2_breaks"] = pod.model->Analog().BreakCounter();
    state.counters["sample_seconds"] = samples / kSamplesPerSecond;
    state.counters["MSps"] = samples / wall / 1e6;
    state.counters["cores_process"] = cpu / wall;
    state.SetLabel("cores per thread " + perThread);
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
    const auto threadsBefore = ThreadCpuSeconds();
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = Clock::now();
    std::atomic<bool> stop{false};
    uint64_t blocks = 0, overflows = 0, seams = 0;
    double firstBreak = -1;
    // The host: takes every block there is, then waits a millisecond. The
    // counter's low byte must go on from block to block.
    std::thread host([&] {
      static uint8_t block[65536];
      int previous = -1;
      while (!stop.load()) {
        while (GetNextStreamBuffer(block)) {
          ++blocks;
          if (previous >= 0 && block[0] != static_cast<uint8_t>(previous + 1)) ++seams;
          previous = block[65534];
        }
        if (StreamBufferOverflow()) ++overflows;
        if (firstBreak < 0 && pod.model->Digital().BreakCounter() != 0)
          firstBreak = std::chrono::duration<double>(Clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
    stop.store(true);
    host.join();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const std::string perThread = ThreadCores(threadsBefore, wall);
    state.counters["first_break_s"] = firstBreak;
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["blocks_sent"] = wall * kSamplesPerSecond * 2 / 65536;
    state.counters["seams"] = static_cast<double>(seams);
    state.counters["overflows"] = static_cast<double>(overflows);
    state.counters["fx2_breaks"] = pod.model->Digital().BreakCounter();
    state.counters["cores_process"] = cpu / wall;
    state.SetLabel("cores per thread " + perThread);
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
