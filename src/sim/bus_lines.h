// Drawing bus traffic into the simulated pod's sample words: the lines of one
// bus driven from front to back, and transmitters that more than one
// demonstration source uses.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tqla::sim {

// One bus's lines over sample indexes, driven from front to back: a level set
// now holds until the next change. Times are in samples and may fall between
// two of them; the other channels of the words are left alone.
class Bus {
 public:
  Bus(std::vector<uint32_t>& words, std::initializer_list<uint32_t> channels, uint32_t idle)
      : words_(words), level_(idle) {
    for (uint32_t c : channels) mask_ |= 1u << c;
    Fill(0, words.size());
  }
  void Set(uint32_t channel, bool high) { level_ = high ? level_ | 1u << channel : level_ & ~(1u << channel); }
  void Hold(double samples) {
    const auto from = static_cast<size_t>(at_);
    at_ += samples;
    Fill(from, static_cast<size_t>(at_));
  }
  void At(double sample) { Hold(std::max(0.0, sample - at_)); }
  double at() const { return at_; }

 private:
  void Fill(size_t from, size_t to) {
    to = std::min(to, words_.size());
    for (size_t k = from; k < to; ++k) words_[k] = (words_[k] & ~mask_) | (level_ & mask_);
  }
  std::vector<uint32_t>& words_;
  uint32_t mask_ = 0;
  uint32_t level_;
  double at_ = 0;
};

struct CanFrame {
  uint32_t id;
  bool extended;
  bool remote;
  std::vector<uint8_t> data;
};

// A CAN frame as a transmitter sends it on channel, bit samples a bit: fields
// most significant bit first, the CRC-15, a stuff bit after five equal bits,
// an acknowledge from a receiver, the end of frame. errorAfter > 0 breaks it
// off after that many bits with an error flag (and the other nodes' echo) and
// its delimiter.
void SendCan(Bus& bus, uint32_t channel, double bit, const CanFrame& f, size_t errorAfter = 0);

}  // namespace tqla::sim
