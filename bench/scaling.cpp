// Screen scaling of a whole capture into 1920 columns, next to a plain read of
// the same words: zoomed out, the scaling should run at memory speed.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "frame/sample_buffer.h"
#include "tqla/tqla.h"

namespace {

constexpr uint32_t kColumns = 1920;

// One capture per size, made the current buffer; busy low channels, quiet high ones.
std::vector<uint32_t>& Capture(uint32_t words) {
  static std::vector<uint32_t> samples;
  if (samples.size() != words) {
    samples.resize(words);
    std::mt19937 rng(1);
    for (uint32_t i = 0; i < words; ++i) samples[i] = (rng() & 0xFFFF00FFu) | ((i >> 12) & 0xFF) << 8;
    tqla::SetCurrentBuffer(samples.data(), words, words);
    tqla::sampleBuffer.CapturedLength.store(words);
  }
  return samples;
}

struct Screen {
  std::array<std::vector<uint8_t>, 16> channels;
  std::array<uint8_t*, 16> c;
  Screen() {
    for (int k = 0; k < 16; ++k) {
      channels[k].resize(kColumns);
      c[k] = channels[k].data();
    }
  }
};

void Finish(benchmark::State& state, uint32_t words) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * words * sizeof(uint32_t));
}

void PlainRead(benchmark::State& state) {
  const uint32_t words = static_cast<uint32_t>(state.range(0));
  const std::vector<uint32_t>& samples = Capture(words);
  for (auto _ : state) {
    uint32_t any = 0;
    for (uint32_t w : samples) any |= w;
    benchmark::DoNotOptimize(any);
  }
  Finish(state, words);
}

void LogicNew(benchmark::State& state) {
  const uint32_t words = static_cast<uint32_t>(state.range(0));
  std::vector<uint32_t>& samples = Capture(words);
  Screen s;
  const uint32_t scale = static_cast<uint32_t>((uint64_t{words} * 1024 + kColumns - 1) / kColumns);
  for (auto _ : state) {
    ScaleDataToScreenNew(samples.data(), s.c[0], s.c[1], s.c[2], s.c[3], s.c[4], s.c[5], s.c[6], s.c[7],
                         s.c[8], s.c[9], s.c[10], s.c[11], s.c[12], s.c[13], s.c[14], s.c[15], 0, kColumns,
                         scale);
    benchmark::DoNotOptimize(s.c[0][kColumns / 2]);
  }
  Finish(state, words);
}

void LogicWhole(benchmark::State& state) {
  const uint32_t words = static_cast<uint32_t>(state.range(0));
  std::vector<uint32_t>& samples = Capture(words);
  Screen s;
  const uint32_t samplesPerPixel = (words + kColumns - 1) / kColumns;
  for (auto _ : state) {
    ScaleDataToScreen(samples.data(), s.c[0], s.c[1], s.c[2], s.c[3], s.c[4], s.c[5], s.c[6], s.c[7], s.c[8],
                      s.c[9], s.c[10], s.c[11], s.c[12], s.c[13], s.c[14], s.c[15], 0, kColumns,
                      samplesPerPixel, 0);
    benchmark::DoNotOptimize(s.c[0][kColumns / 2]);
  }
  Finish(state, words);
}

void ScopeNew(benchmark::State& state) {
  const uint32_t words = static_cast<uint32_t>(state.range(0));
  std::vector<uint32_t>& samples = Capture(words);
  std::vector<uint32_t> minimum(kColumns), maximum(kColumns);
  const uint32_t scale = static_cast<uint32_t>((uint64_t{words} * 1024 + kColumns - 1) / kColumns);
  for (auto _ : state) {
    ScaleScopeDataToScreenNew(samples.data(), 1, minimum.data(), maximum.data(), 0, kColumns, scale);
    benchmark::DoNotOptimize(minimum[kColumns / 2]);
  }
  Finish(state, words);
}

// Each size runs all four back to back, so the ratios compare like with like.
BENCHMARK(PlainRead)->Arg(1 << 20);
BENCHMARK(LogicNew)->Arg(1 << 20);
BENCHMARK(LogicWhole)->Arg(1 << 20);
BENCHMARK(ScopeNew)->Arg(1 << 20);
BENCHMARK(PlainRead)->Arg(1 << 26);
BENCHMARK(LogicNew)->Arg(1 << 26);
BENCHMARK(LogicWhole)->Arg(1 << 26);
BENCHMARK(ScopeNew)->Arg(1 << 26);

}  // namespace

BENCHMARK_MAIN();
