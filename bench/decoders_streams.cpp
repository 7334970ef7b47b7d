// Speed of the 1-Wire, I2S, synchronous serial and parallel decoders over 64 M
// samples of one bus at 24 MHz, without a protocol file: sparse traffic
// (bursts in 20 ms of idle) and dense traffic (back to back). Items are
// samples, so the rate reads in samples per second; the unclocked parallel
// decoder writes a value for every sample, so its figure that matters is the
// record text it writes per second (bytes_per_second).
#include "decoder_traffic.h"
#include "tqla/tqla.h"

namespace {

using namespace tqla::bench;

constexpr double kGap = 0.02;

double Us(double us) { return us * kRate / 1e6; }

void OneWire(Builder& b, uint32_t n) {  // channel 0: reset, presence, 10 bytes
  b.Set(0, false), b.Hold(Us(500)), b.Set(0, true), b.Hold(Us(30));
  b.Set(0, false), b.Hold(Us(120)), b.Set(0, true), b.Hold(Us(350));
  for (int k = 0; k < 80; ++k) {
    const bool one = ((n * 7 + k) * 37) & 4;
    b.Set(0, false), b.Hold(Us(one ? 6 : 64)), b.Set(0, true), b.Hold(Us(one ? 64 : 6));
  }
}

// I2S at 48 kHz, 32-bit stereo (3.072 MHz bit clock): clock 1, word select 2,
// data 3; frames frames per burst.
void I2s(Builder& b, uint32_t n, int frames) {
  const double half = kRate / (48e3 * 64) / 2;
  for (int bit = 0; bit < frames * 64; ++bit) {
    b.Set(1, false);
    if (bit % 32 == 0) b.Set(2, (bit / 32) & 1);
    b.Set(3, ((n + bit) * 37) & 8);
    b.Hold(half);
    b.Set(1, true), b.Hold(half);
  }
}

// A serial link at the same bit rate: clock 1, data 3, 16-bit words after
// a frame line (channel 4) falls once, shortly after the start.
void Serial(Builder& b, uint32_t n, int words) {
  const double half = kRate / (48e3 * 64) / 2;
  if (n == 0) b.Hold(8);
  b.Set(4, false);
  for (int bit = 0; bit < words * 16; ++bit) {
    b.Set(1, false), b.Set(3, ((n + bit) * 37) & 8), b.Hold(half);
    b.Set(1, true), b.Hold(half);
  }
}

// An 8-bit bus on channels 0-7 with a strobe on 8 falling once every
// period samples, data set up one sample before.
void Strobed(Builder& b, uint32_t n, int values, double period) {
  for (int k = 0; k < values; ++k) {
    b.Value(0xFF, (n + k) * 37), b.Hold(1);
    b.Set(8, false), b.Hold(period / 2 - 1);
    b.Set(8, true), b.Hold(period / 2);
  }
}

// A 16-bit bus changing every period samples.
void Counter(Builder& b, uint32_t n, int values, double period) {
  for (int k = 0; k < values; ++k) b.Value(0xFFFF, (n * values + k) * 0x9E37), b.Hold(period);
}

bool Dense(const benchmark::State& state) { return state.range(0) != 0; }

void BM_1Wire(benchmark::State& state) {
  auto& words = Samples(1, Dense(state) ? 0.0 : kGap, OneWire);
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return Decode1Wire(w, out, 0, kSamples, 247, 0, 1, 1, 1, nullptr, nullptr, error);
  });
}

void BM_I2S(benchmark::State& state) {
  auto& words =
      Samples(0, Dense(state) ? 0.0 : kGap, [&](Builder& b, uint32_t n) { I2s(b, n, Dense(state) ? 64 : 4); });
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeI2S(w, out, 0, kSamples, 247, 3, 1, 0, 0, 2, 0, 1, 1, 32, 1, 1, 1, 2, nullptr, nullptr, error);
  });
}

void BM_Serial(benchmark::State& state) {
  auto& words = Samples(1u << 4, Dense(state) ? 0.0 : kGap,
                        [&](Builder& b, uint32_t n) { Serial(b, n, Dense(state) ? 1024 : 16); });
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeSerial(w, out, 0, kSamples, 247, 3, 0, 0, 4, 1, 1, 1, 16, 1, 1, 0, 8, nullptr, nullptr, error);
  });
}

void BM_ParallelClocked(benchmark::State& state) {
  auto& words = Samples(1u << 8, Dense(state) ? 0.0 : kGap,
                        [&](Builder& b, uint32_t n) {
                          Strobed(b, n, Dense(state) ? 1024 : 16, Dense(state) ? 4 : 48);
                        });
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeParallel(w, out, 0, kSamples, 247, 0xFF, 8, 1, 0, 1, 1, 16, nullptr, nullptr, error);
  });
}

// Sparse: the bus changes every 1000 samples; dense: every sample.
void BM_ParallelUnclocked(benchmark::State& state) {
  auto& words =
      Samples(0, 0.0, [&](Builder& b, uint32_t n) { Counter(b, n, 1024, Dense(state) ? 1 : 1000); });
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeParallel(w, out, 0, kSamples, 247, 0xFFFF, 0, 0, 0, 1, 1, 16, nullptr, nullptr, error);
  });
}

// Argument 0: sparse, 1: dense.
BENCHMARK(BM_1Wire)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_I2S)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serial)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParallelClocked)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParallelUnclocked)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
