// MakeBuffer from the call to a block whose every word reads 0xCCCCCCCC, for
// 1 G words (4 GB) where free memory allows, else the largest multiple of
// 64 Ki words that fits; bytes per second are bytes of buffer made.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "frame/sample_buffer.h"
#include "tqla/tqla.h"

namespace {

using namespace tqla;

uint32_t Words() {
  const uint64_t room = AvailablePhysicalMemory() / 2 / sizeof(uint32_t);
  return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{1} << 30, room) & ~0xFFFFull);
}

void MakeAndFill(benchmark::State& state) {
  const uint32_t words = state.range(0) ? static_cast<uint32_t>(state.range(0)) : Words();
  for (auto _ : state) {
    uint32_t* block = MakeBuffer(words);
    if (!block) {
      state.SkipWithError("no memory for the buffer");
      break;
    }
    benchmark::DoNotOptimize(block[words - 1]);
    state.PauseTiming();
    DeleteBuffer(block);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * words * 4);
  state.counters["words"] = words;
}
BENCHMARK(MakeAndFill)->Arg(24u << 20)->Arg(0)->ArgName("words")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
