// What the decoder benchmarks share: 64 M samples of one bus at 24 MHz built
// from line levels, bursts of traffic between idle gaps, and a timed run of a
// decoder over them writing a record file.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/sample_buffer.h"

namespace tqla::bench {

constexpr uint32_t kSamples = 64u << 20;
constexpr double kRate = 24e6;

// Line levels over sample indexes: set a channel from a sample on.
struct Builder {
  std::vector<uint32_t>& words;
  size_t at = 0;
  uint32_t level;
  void Hold(double samples) {
    const size_t until = std::min(words.size(), static_cast<size_t>(at + samples));
    for (; at < until; ++at) words[at] = level;
  }
  void Set(int channel, bool high) { level = high ? level | (1u << channel) : level & ~(1u << channel); }
  void Value(uint32_t mask, uint32_t value) { level = (level & ~mask) | (value & mask); }
  bool full() const { return at >= words.size(); }
};

// Bursts of traffic(builder, burst number), each followed by gap seconds of idle.
template <class Traffic>
std::vector<uint32_t>& Samples(uint32_t idle, double gap, Traffic traffic) {
  static std::vector<uint32_t> words;
  words.assign(kSamples, idle);
  Builder b{words, 0, idle};
  for (uint32_t n = 0; !b.full(); ++n) {
    traffic(b, n);
    b.Hold(gap * kRate);
  }
  return words;
}

// Times decode(words, record file) over all samples; items are samples, bytes
// the record text written.
template <class Decode>
void Run(benchmark::State& state, std::vector<uint32_t>& words, Decode decode) {
  SetCurrentBuffer(words.data(), kSamples, kSamples);
  std::string out = "/tmp/tqla_decoders_bench_" + std::to_string(getpid()) + ".txt";
  for (auto _ : state) benchmark::DoNotOptimize(decode(words.data(), reinterpret_cast<uint8_t*>(out.data())));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSamples);
  const auto bytes = static_cast<int64_t>(std::filesystem::file_size(out));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
  std::remove(out.c_str());
  SetCurrentBuffer(nullptr, 0, 0);
}

}  // namespace tqla::bench
