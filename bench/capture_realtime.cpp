// Captures on the simulated pod in real-time pacing at the pod's full rate,
// through the public API as a host drives them:
//  - a buffered capture of 16 digital and 2 analog channels at 24 MS/s (96 MB/s
//    of USB data from both FX2) with an analog trigger that never fires, so
//    that every word is searched, until the trigger engine has taken 10 s of
//    samples; reports the breaks CaptureStatus gives (lost data) and each
//    FX2's own break counter;
//  - a streaming capture at 24 MS/s for 10 s with a host thread draining the
//    stream ring; reports the blocks received against the blocks the pod sent
//    and whether the ring overflowed.
// Both report the CPU the whole process used (the simulated pod's own
// threads included) as a fraction of one core, and per thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cpu_usage.h"
#include "sim/sim_bus.h"
#include "sim/sim_pod.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace {

using namespace tqla::bench;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRate = 247;  // 24 MS/s
constexpr double kSamplesPerSecond = 24e6;
constexpr double kSeconds = 10;

int32_t AddPod() {
  ClosePod();
  TqlaSimReset();
  const int32_t pod = TqlaSimAddPod(7);  // real-time pacing is the default
  TqlaSimSetSource(pod, TQLA_SIM_SOURCE_DEMO);
  return pod;
}

void BM_BufferedCapture16Plus2(benchmark::State& state) {
  constexpr uint32_t kRingWords = 16u << 20;  // 64 MiB: the ring wraps every 0.7 s
  for (auto _ : state) {
    const int32_t pod = AddPod();
    if (!InitializeTQPod(7)) {
      state.SkipWithError("no simulated pod");
      return;
    }
    uint32_t* ring = MakeBuffer(kRingWords);
    if (!ring) {
      state.SkipWithError("no ring");
      return;
    }
    uint32_t steps[2] = {};
    const auto threadsBefore = ThreadCpuSeconds();
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = Clock::now();
    // Rising edge on CH1 above 255: armed at once, never met.
    if (!StartCapture(15, 1, 1, 255, kRate, 0, steps, 0, ring, kRingWords, 0)) {
      state.SkipWithError("StartCapture failed");
      return;
    }
    // The engine's newest-sample index moves on by every batch it has taken.
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
    auto p = tqla::sim::Bus().Pod(pod);
    state.counters["status_breaks"] = breaks;
    state.counters["digital_fx2_breaks"] = p ? p->Digital().BreakCounter() : -1;
    state.counters["analog_fx2_breaks"] = p ? p->Analog().BreakCounter() : -1;
    state.counters["sample_seconds"] = samples / kSamplesPerSecond;
    state.counters["MSps"] = samples / wall / 1e6;
    state.counters["cores_process"] = cpu / wall;
    state.SetLabel("cores per thread " + perThread);
    StopCapture();
    DeleteBuffer(ring);
    ClosePod();
    TqlaSimReset();
  }
}
BENCHMARK(BM_BufferedCapture16Plus2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Arg: the clock mode, 4 (a streaming image, 1 byte per sample) or 2 (the
// 16-channel logic image, 2 bytes per sample).
void BM_Stream(benchmark::State& state) {
  const auto clockMode = static_cast<uint32_t>(state.range(0));
  const double bytesPerSample = clockMode == 2 ? 2 : 1;
  for (auto _ : state) {
    const int32_t pod = AddPod();
    if (!InitializeTQExtractor(7, 0)) {
      state.SkipWithError("no simulated pod");
      return;
    }
    std::atomic<bool> stop{false};
    uint64_t blocks = 0;
    uint64_t overflows = 0;
    if (!StartStreamingCapture16(kRate, clockMode, nullptr, 0, nullptr, 0, 0)) {
      state.SkipWithError("StartStreamingCapture16 failed");
      return;
    }
    // Counted from GO, which the start sends last.
    const auto threadsBefore = ThreadCpuSeconds();
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = Clock::now();
    auto p = tqla::sim::Bus().Pod(pod);
    double firstBreak = -1;
    // The host: takes every block there is, then waits a millisecond.
    std::thread host([&] {
      static uint8_t block[65536];
      while (!stop.load()) {
        while (GetNextStreamBuffer(block)) ++blocks;
        if (StreamBufferOverflow()) ++overflows;
        if (firstBreak < 0 && p && p->Digital().BreakCounter() != 0)
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
    state.counters["blocks_sent"] = wall * kSamplesPerSecond * bytesPerSample / 65536;
    state.counters["overflows"] = static_cast<double>(overflows);
    state.counters["fx2_breaks"] = p ? p->Digital().BreakCounter() : -1;
    state.counters["cores_process"] = cpu / wall;
    state.SetLabel("cores per thread " + perThread);
    StopStream();
    ClosePod();
    TqlaSimReset();
  }
}
BENCHMARK(BM_Stream)->Arg(4)->Arg(2)->ArgName("clock_mode")->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
