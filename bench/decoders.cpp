// Decoder speed over 64 M samples of one bus at 24 MHz, without a protocol
// file: sparse traffic (short bursts in long idle gaps) and dense traffic
// (back to back). Items are samples, so the rate reads in samples per second.
#include "decoder_traffic.h"
#include "tqla/tqla.h"

namespace {

using namespace tqla::bench;

void I2c(Builder& b, uint32_t) {  // SDA 0, SCL 1, 400 kHz: a START, 8 bytes, a STOP
  const double q = kRate / 400e3 / 4;
  b.Set(0, false), b.Hold(q), b.Set(1, false), b.Hold(q);
  for (int n = 0; n < 9 * 8; ++n) {
    b.Set(0, (n * 37) & 4), b.Hold(q), b.Set(1, true), b.Hold(2 * q), b.Set(1, false), b.Hold(q);
  }
  b.Set(0, false), b.Hold(q), b.Set(1, true), b.Hold(q), b.Set(0, true), b.Hold(q);
}

void Spi(Builder& b, uint32_t) {  // SS 0, SCK 1, MOSI 2, MISO 3, 1 MHz, mode 0: 16 bytes
  const double half = kRate / 1e6 / 2;
  b.Set(0, false), b.Hold(half);
  for (int n = 0; n < 128; ++n) {
    b.Set(2, (n * 37) & 4), b.Set(3, (n * 11) & 2), b.Hold(half), b.Set(1, true), b.Hold(half), b.Set(1, false);
  }
  b.Hold(half), b.Set(0, true);
}

void Uart(Builder& b, uint32_t) {  // channel 6, 115200 baud 8N1: 16 characters
  const double bit = kRate / 115200;
  for (int n = 0; n < 16; ++n) {
    b.Set(6, false), b.Hold(bit);
    for (int k = 0; k < 8; ++k) b.Set(6, ((n * 37 + 5) >> k) & 1), b.Hold(bit);
    b.Set(6, true), b.Hold(bit);
  }
}

void BM_I2C(benchmark::State& state) {
  auto& words = Samples(3, state.range(0) ? 0.0 : 0.02, I2c);
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeI2C(w, out, 0, kSamples, 247, 0, 1, 1, 1, 1, 1, nullptr, nullptr, error);
  });
}

void BM_SPI(benchmark::State& state) {
  auto& words = Samples(1, state.range(0) ? 0.0 : 0.02, Spi);
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeSPIVariable(w, out, 0, kSamples, 247, 0, 1, 2, 3, 1, 1, 1, 1, 1, 8, 8, nullptr, nullptr, error);
  });
}

void BM_UART(benchmark::State& state) {
  auto& words = Samples(1u << 6, state.range(0) ? 0.0 : 0.02, Uart);
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeASYNC(w, out, 0, kSamples, 247, 1u << 6, 115200, 0, 8, 1, 1, 0, 16, nullptr, nullptr, error);
  });
}

// Argument 0: sparse (20 ms idle after each burst), 1: dense.
BENCHMARK(BM_I2C)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SPI)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UART)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
