// Writes the captures the side-by-side benchmark decodes: seconds of 24 MHz
// samples of I2C, SPI and serial traffic (sparse, normal, dense) and of an
// idle bus, each as a tqla capture file (CASE.tqc) and as the raw 16-bit
// little-endian words the other decoder stack reads (CASE.bin). The channels
// are the tool's default wiring: I2C SCL 0 and SDA 1; SPI clock 2, MOSI 3,
// MISO 4, chip select 5; serial on 6.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture.h"

namespace {

constexpr double kRate = 24e6;

struct Builder {
  std::vector<uint32_t>& words;
  size_t at = 0;
  uint32_t level;
  void Hold(double samples) {
    const size_t until = std::min(words.size(), static_cast<size_t>(static_cast<double>(at) + samples));
    for (; at < until; ++at) words[at] = level;
  }
  void Set(int channel, bool high) { level = high ? level | (1u << channel) : level & ~(1u << channel); }
  bool full() const { return at >= words.size(); }
};

constexpr uint32_t kIdle = 0x63;  // SCL, SDA, chip select and the serial line high

void I2cTransfer(Builder& b, uint32_t n) {
  const double quarter = kRate / 100e3 / 4;
  auto bit = [&](bool v) {
    b.Set(1, v);
    b.Hold(quarter);
    b.Set(0, true);
    b.Hold(2 * quarter);
    b.Set(0, false);
    b.Hold(quarter);
  };
  b.Set(1, false);  // START: SDA falls while SCL is high
  b.Hold(quarter);
  b.Set(0, false);
  b.Hold(quarter);
  const uint8_t bytes[4] = {0xA0, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), 0x5A};
  for (uint8_t byte : bytes) {
    for (int k = 7; k >= 0; --k) bit((byte >> k) & 1);
    bit(false);  // ACK
  }
  b.Set(1, false);  // STOP: SDA rises while SCL is high
  b.Hold(quarter);
  b.Set(0, true);
  b.Hold(quarter);
  b.Set(1, true);
  b.Hold(quarter);
}

void SpiFrame(Builder& b, uint32_t n) {
  const double half = kRate / 1e6 / 2;
  b.Set(5, false);
  b.Hold(half);
  for (int w = 0; w < 8; ++w) {
    const uint8_t mosi = static_cast<uint8_t>(n + w), miso = static_cast<uint8_t>(~(n + w));
    for (int k = 7; k >= 0; --k) {
      b.Set(3, (mosi >> k) & 1);
      b.Set(4, (miso >> k) & 1);
      b.Hold(half);
      b.Set(2, true);
      b.Hold(half);
      b.Set(2, false);
    }
  }
  b.Hold(half);
  b.Set(5, true);
  b.Hold(half);
}

void SerialText(Builder& b, uint32_t n) {
  const double bit = kRate / 115200;
  for (int c = 0; c < 16; ++c) {
    const uint8_t value = static_cast<uint8_t>('A' + (n + c) % 26);
    b.Set(6, false);
    b.Hold(bit);
    for (int k = 0; k < 8; ++k) {
      b.Set(6, (value >> k) & 1);
      b.Hold(bit);
    }
    b.Set(6, true);
    b.Hold(bit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTDIR [SECONDS]\n", argv[0]);
    return 1;
  }
  const std::string dir = argv[1];
  const double seconds = argc > 2 ? std::atof(argv[2]) : 1.0;
  const auto count = static_cast<size_t>(seconds * kRate);
  const struct {
    const char* name;
    void (*traffic)(Builder&, uint32_t);
    double gap;  // seconds of idle after each burst
  } kCases[] = {
      {"i2c-sparse", I2cTransfer, 10e-3}, {"i2c-normal", I2cTransfer, 1e-3}, {"i2c-dense", I2cTransfer, 20e-6},
      {"spi-sparse", SpiFrame, 10e-3},    {"spi-normal", SpiFrame, 1e-3},    {"spi-dense", SpiFrame, 5e-6},
      {"uart-sparse", SerialText, 10e-3}, {"uart-normal", SerialText, 1e-3}, {"uart-dense", SerialText, 0},
      {"idle", nullptr, 0},
  };
  std::vector<uint32_t> words(count);
  std::vector<uint16_t> raw(count);
  for (const auto& c : kCases) {
    words.assign(count, kIdle);
    Builder b{words, 0, kIdle};
    if (c.traffic) {
      for (uint32_t n = 0; !b.full(); ++n) {
        b.Hold(c.gap * kRate + 24);
        c.traffic(b, n);
      }
    }
    tqla::cli::Capture capture;
    capture.samples = words;
    capture.rateHz = static_cast<uint32_t>(kRate);
    capture.analogChannels = 0;
    tqla::cli::SaveCapture(dir + "/" + c.name + ".tqc", capture);
    for (size_t i = 0; i < count; ++i) raw[i] = static_cast<uint16_t>(words[i]);
    std::FILE* out = std::fopen((dir + "/" + c.name + ".bin").c_str(), "wb");
    if (!out || std::fwrite(raw.data(), 2, count, out) != count || std::fclose(out) != 0) {
      std::fprintf(stderr, "cannot write %s/%s.bin\n", dir.c_str(), c.name);
      return 1;
    }
    std::printf("%s\n", c.name);
  }
  return 0;
}
