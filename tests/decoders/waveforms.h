// An independent bus waveform synthesizer: lines change at times in seconds,
// as a bus master would drive them, and are sampled into sample words at a
// chosen rate.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tqla::test {

class Lines {
 public:
  explicit Lines(uint32_t idle) : idle_(idle) {}
  void At(double t, int channel, bool high) {
    edges_.push_back({t, channel, high});
    last_ = std::max(last_, t);
  }
  uint32_t idle() const { return idle_; }
  double last() const { return last_; }

  std::vector<uint32_t> Render(double rate, double tail) {
    std::stable_sort(edges_.begin(), edges_.end(), [](const Edge& a, const Edge& b) { return a.t < b.t; });
    const size_t count = static_cast<size_t>(std::ceil((last_ + tail) * rate));
    std::vector<uint32_t> words(count);
    uint32_t level = idle_;
    size_t next = 0;
    for (size_t k = 0; k < count; ++k) {
      while (next < edges_.size() && edges_[next].t <= k / rate) {
        const Edge& e = edges_[next++];
        level = e.high ? level | (1u << e.channel) : level & ~(1u << e.channel);
      }
      words[k] = level;
    }
    return words;
  }

 private:
  struct Edge {
    double t;
    int channel;
    bool high;
  };
  uint32_t idle_;
  std::vector<Edge> edges_;
  double last_ = 0;
};

// An I2C master (and the acknowledging side) at a clock frequency.
struct I2cMaster {
  Lines& lines;
  int sda, scl;
  double quarter;  // a quarter of the clock period
  double t = 1e-5;

  void Drive(int channel, bool high) {
    lines.At(t, channel, high);
    t += quarter;
  }
  // From idle or after a bit, so a repeated START works the same way.
  void Start() {
    Drive(sda, true);
    Drive(scl, true);
    Drive(sda, false);
    Drive(scl, false);
  }
  void Bit(bool b) {
    Drive(sda, b);
    Drive(scl, true);
    t += quarter;
    Drive(scl, false);
  }
  void Byte(uint8_t value, bool ack) {
    for (int k = 7; k >= 0; --k) Bit((value >> k) & 1);
    Bit(!ack);
  }
  void Stop() {
    Drive(sda, false);
    Drive(scl, true);
    Drive(sda, true);
    t += 8 * quarter;
  }
};

// An SPI master in mode 0-3 exchanging words of a given size, MSB first.
struct SpiMaster {
  Lines& lines;
  int ss, sck, mosi, miso;
  int mode;
  double half;  // half a clock period
  double t = 1e-5;

  bool cpol() const { return mode & 2; }
  bool cpha() const { return mode & 1; }
  // The clock edge the receiver samples on.
  bool risingSample() const { return cpol() == cpha(); }

  void Frame(const std::vector<uint32_t>& out, const std::vector<uint32_t>& in, int bits) {
    lines.At(t, ss, false);
    t += half;
    for (size_t w = 0; w < out.size(); ++w) {
      for (int k = bits - 1; k >= 0; --k) {
        if (cpha()) lines.At(t, sck, !cpol());
        lines.At(t, mosi, (out[w] >> k) & 1);
        lines.At(t, miso, (in[w] >> k) & 1);
        t += half;
        lines.At(t, sck, cpha() ? cpol() : !cpol());
        t += half;
        if (!cpha()) lines.At(t, sck, cpol());
      }
    }
    t += half;
    lines.At(t, ss, true);
    t += 4 * half;
  }
};

// A UART transmitter: start bit, data LSB first, optional even parity, stop.
inline double SendCharacter(Lines& lines, int channel, double t, double baud, uint32_t value, int bits, bool even) {
  const double bit = 1.0 / baud;
  lines.At(t, channel, false);
  int ones = 0;
  for (int k = 0; k < bits; ++k) {
    const bool b = (value >> k) & 1;
    ones += b;
    lines.At(t + (k + 1) * bit, channel, b);
  }
  const int parityBits = even ? 1 : 0;
  if (even) lines.At(t + (bits + 1) * bit, channel, ones & 1);
  lines.At(t + (bits + 1 + parityBits) * bit, channel, true);
  return t + (bits + 2 + parityBits) * bit;
}

}  // namespace tqla::test
