// The pattern generator's data path: pattern words to pod bytes (bytes per
// second are bytes of pattern words taken in), the pulse counter over raw pod
// samples, and a whole 24 MHz 16-bit generation run on the simulated pod at
// the true rate, reported as the share of one core the process used.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "device/device_state.h"
#include "generator/generator_state.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace {

using namespace tqla;
using generator::Layout;

constexpr uint32_t kPatternWords = 4u << 20;

std::vector<uint32_t> Pattern(uint32_t words) {
  std::mt19937 random(1);
  std::vector<uint32_t> pattern(words);
  for (uint32_t& w : pattern) w = random();
  return pattern;
}

void Convert(benchmark::State& state) {
  BuildPinMaps();
  static generator::PinTables tables;
  generator::BuildPinTables(tables);
  const auto layout = state.range(0) ? Layout::Packed : Layout::Plain;
  const auto width = static_cast<uint32_t>(state.range(1));
  const std::vector<uint32_t> pattern = Pattern(kPatternWords);
  std::vector<uint8_t> bytes(static_cast<size_t>(kPatternWords) * generator::BytesPerWord(layout, width));
  for (auto _ : state) {
    generator::ConvertWords(tables, layout, width, pattern.data(), kPatternWords, bytes.data());
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPatternWords * 4);
}
BENCHMARK(Convert)->ArgsProduct({{0, 1}, {16, 8}})->ArgNames({"packed", "width"});

void PulseCount(benchmark::State& state) {
  BuildPinMaps();
  std::vector<uint8_t> block(65536);
  std::mt19937 random(2);
  for (uint8_t& b : block) b = random() % 5 == 0 ? static_cast<uint8_t>(random()) : 0x5A;
  uint8_t width = static_cast<uint8_t>(state.range(0));
  generator::pulseCount.PulseWidth = width;
  for (auto _ : state) CountEdges(block.data(), static_cast<uint32_t>(block.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 65536);
}
BENCHMARK(PulseCount)->Arg(16)->Arg(8)->ArgName("width");

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Two seconds of a looped 16-bit pattern at 24 MHz, the simulated pod taking
// it at the true rate: CPU of the whole process (output thread, the pod's
// pump, this thread polling the status every 20 ms) over the wall time.
void RealTimeRun(benchmark::State& state) {
  TqlaSimReset();
  const int32_t pod = TqlaSimAddPod(0x7E);
  InitializeTQPod(0x7E);
  std::vector<uint32_t> pattern = Pattern(1u << 20);
  for (auto _ : state) {
    const double cpuBefore = CpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    if (!StartLoopGenerate(16, 247, 0, pattern.data(), static_cast<uint32_t>(pattern.size()), 1)) {
      state.SkipWithError("the generation did not start");
      break;
    }
    char podStatus = 0;
    while (std::chrono::steady_clock::now() - begin < std::chrono::seconds(2)) {
      GenerateStatus(&podStatus, nullptr, nullptr, nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    StopGenerate();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.counters["cores"] = (CpuSeconds() - cpuBefore) / wall;
    state.counters["underruns"] = static_cast<uint8_t>(podStatus);
  }
  ClosePod();
  TqlaSimReset();
  (void)pod;
}
BENCHMARK(RealTimeRun)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
