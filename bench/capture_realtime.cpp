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

#include "realtime_run.h"
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
    const RunMeter meter;
    // Rising edge on CH1 above 255: armed at once, never met.
    if (!StartCapture(15, 1, 1, 255, kRate, 0, steps, 0, ring, kRingWords, 0)) {
      state.SkipWithError("StartCapture failed");
      return;
    }
    int32_t breaks = 0;
    const uint64_t samples = FollowCapture(kRingWords, kSamplesPerSecond, kSeconds, breaks);
    const double wall = meter.Seconds();
    meter.Report(state);
    auto p = tqla::sim::Bus().Pod(pod);
    state.counters["status_breaks"] = breaks;
    state.counters["digital_fx2_breaks"] = p ? p->Digital().BreakCounter() : -1;
    state.counters["analog_fx2_breaks"] = p ? p->Analog().BreakCounter() : -1;
    state.counters["sample_seconds"] = samples / kSamplesPerSecond;
    state.counters["MSps"] = samples / wall / 1e6;
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
    if (!StartStreamingCapture16(kRate, clockMode, nullptr, 0, nullptr, 0, 0)) {
      state.SkipWithError("StartStreamingCapture16 failed");
      return;
    }
    // Counted from GO, which the start sends last.
    const RunMeter meter;
    const auto start = meter.Start();
    auto p = tqla::sim::Bus().Pod(pod);
    const StreamDrain drain = DrainStream(kSeconds, p ? &p->Digital() : nullptr, start, [](const uint8_t*) {});
    const double wall = meter.Seconds();
    meter.Report(state);
    state.counters["first_break_s"] = drain.firstBreak;
    state.counters["blocks"] = static_cast<double>(drain.blocks);
    state.counters["blocks_sent"] = wall * kSamplesPerSecond * bytesPerSample / 65536;
    state.counters["overflows"] = static_cast<double>(drain.overflows);
    state.counters["fx2_breaks"] = p ? p->Digital().BreakCounter() : -1;
    StopStream();
    ClosePod();
    TqlaSimReset();
  }
}
BENCHMARK(BM_Stream)->Arg(4)->Arg(2)->ArgName("clock_mode")->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
