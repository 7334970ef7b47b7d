// CAN, USB and PS/2 decoder speed over 64 M samples at 24 MHz, without a
// protocol file: sparse traffic (short bursts in long idle gaps) and dense
// traffic (back to back).
#include <vector>

#include "decoder_traffic.h"
#include "tqla/tqla.h"

namespace {

using namespace tqla::bench;

// CAN on channel 0 at 500 kbit/s: eight-byte data frames, stuffed, acknowledged.
void Can(Builder& b, uint32_t n) {
  const double bit = kRate / 500e3;
  std::vector<int> bits = {0};
  auto put = [&](uint32_t v, int width) {
    for (int k = width - 1; k >= 0; --k) bits.push_back((v >> k) & 1);
  };
  put(0x100 + (n & 0xFF), 11), put(0, 3), put(8, 4);
  for (int k = 0; k < 8; ++k) put(static_cast<uint32_t>(n * 37 + k * 11) & 0xFF, 8);
  uint32_t crc = 0;
  for (int x : bits) crc = ((crc << 1) & 0x7FFF) ^ ((((crc >> 14) & 1) != static_cast<uint32_t>(x)) ? 0x4599 : 0);
  put(crc, 15);
  int level = 1, run = 0;
  auto send = [&](int x) { b.Set(0, x), b.Hold(bit); };
  for (int x : bits) {
    send(x);
    run = x == level ? run + 1 : 1;
    level = x;
    if (run == 5) send(level = !level), run = 1;
  }
  for (int x : {1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}) send(x);
}

// USB on channels 1 (D+) and 2 (D-): IN, DATA1 of eight bytes, ACK, each
// packet closed by two bit times of SE0 and a J, then two idle bits.
template <bool kFull>
void Usb(Builder& b, uint32_t n) {
  const double bit = kRate / (kFull ? 12e6 : 1.5e6);
  auto packet = [&](std::vector<int> bits) {
    bool j = true;
    int ones = 0;
    auto level = [&](bool toggle) {
      if (toggle) j = !j;
      b.Set(1, kFull ? j : !j), b.Set(2, kFull ? !j : j), b.Hold(bit);
    };
    for (int x : bits) {
      level(x == 0);
      ones = x ? ones + 1 : 0;
      if (ones == 6) level(true), ones = 0;
    }
    b.Set(1, false), b.Set(2, false), b.Hold(2 * bit);
    b.Set(1, kFull), b.Set(2, !kFull), b.Hold(3 * bit);
  };
  auto bits = [](std::initializer_list<uint32_t> bytes) {
    std::vector<int> out;
    for (uint32_t v : bytes) {
      for (int k = 0; k < 8; ++k) out.push_back((v >> k) & 1);
    }
    return out;
  };
  packet(bits({0x80, 0x69, 0x81, 0x10}));
  packet(bits({0x80, 0x4B, 0x12, static_cast<uint32_t>(n & 0xFF), 0xFF, 0x00, 0x55, 0xAA, 0x01, 0x80, 0x3C, 0xC3}));
  packet(bits({0x80, 0xD2}));
}

// PS/2 on channels 3 (data) and 4 (clock) at 12.5 kHz: key codes from the device.
void Ps2(Builder& b, uint32_t n) {
  const double half = kRate / 12.5e3 / 2;
  for (uint32_t key = 0; key < 3; ++key) {
    const uint32_t value = ((n * 3 + key) * 29) & 0xFF;
    const int bits[11] = {0, int(value & 1), int(value >> 1 & 1), int(value >> 2 & 1), int(value >> 3 & 1),
                          int(value >> 4 & 1), int(value >> 5 & 1), int(value >> 6 & 1), int(value >> 7 & 1),
                          __builtin_popcount(value) % 2 == 0, 1};
    for (int x : bits) {
      b.Hold(half / 2), b.Set(3, x), b.Hold(half / 2);
      b.Set(4, false), b.Hold(half), b.Set(4, true);
    }
  }
}

void BM_CAN(benchmark::State& state) {
  auto& words = Samples(1, state.range(0) ? 0.0 : 0.02, Can);
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeCAN(w, out, 0, kSamples, 247, 0, 500000, ~0u, 0, 0, 1, 0, nullptr, nullptr, error);
  });
}

template <bool kFull>
void BM_USB(benchmark::State& state) {
  auto& words = Samples(kFull ? 2u : 4u, state.range(0) ? 0.0 : 0.02, Usb<kFull>);
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeUSB(w, out, 0, kSamples, kSamples, 999, 999, 1, 2, kFull, 247, 1, 1, 1, 1, nullptr, nullptr, error);
  });
}

void BM_PS2(benchmark::State& state) {
  auto& words = Samples(3u << 3, state.range(0) ? 0.0 : 0.02, Ps2);
  char error[256];
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodePS2(w, out, 0, kSamples, 247, 3, 4, 0, nullptr, nullptr, error);
  });
}

// Argument 0: sparse (20 ms idle after each burst), 1: dense.
BENCHMARK(BM_CAN)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_USB<false>)->Name("BM_USB_LowSpeed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_USB<true>)->Name("BM_USB_FullSpeed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PS2)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
