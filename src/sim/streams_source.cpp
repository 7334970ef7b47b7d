#include "sim/streams_source.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

namespace tqla::sim {
namespace {

// Levels of one channel from a sample on; samples past the end are dropped.
class Line {
 public:
  Line(std::vector<uint32_t>& words, uint32_t channel) : words_(words), bit_(1u << channel) {}
  void Hold(uint32_t& at, uint32_t count, bool high) {
    const auto end = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{at} + count, words_.size()));
    for (uint32_t i = at; i < end; ++i) words_[i] = high ? words_[i] | bit_ : words_[i] & ~bit_;
    at = end;
  }
  void Fill(uint32_t from, bool high) {
    uint32_t at = from;
    Hold(at, static_cast<uint32_t>(words_.size()) - from, high);
  }

 private:
  std::vector<uint32_t>& words_;
  uint32_t bit_;
};

// The 1-Wire CRC (x^8 + x^5 + x^4 + 1, least significant bit first).
uint8_t Crc8(const uint8_t* bytes, size_t count) {
  uint8_t crc = 0;
  for (size_t k = 0; k < count; ++k) {
    uint8_t byte = bytes[k];
    for (int bit = 0; bit < 8; ++bit, byte >>= 1) crc = ((crc ^ byte) & 1) ? (crc >> 1) ^ 0x8C : crc >> 1;
  }
  return crc;
}

// A master and one temperature sensor on channel 0, in microseconds.
void RenderOneWire(std::vector<uint32_t>& words) {
  Line line(words, 0);
  line.Fill(0, true);
  uint32_t at = 200;
  auto reset = [&] {
    line.Hold(at, 600, false), line.Hold(at, 40, true);
    line.Hold(at, 120, false), line.Hold(at, 340, true);  // presence
  };
  // Write slots: a 1 released after 6 us, a 0 held 64 us. Read slots: the
  // master pulls 3 us, the sensor holds a 0 to 30 us.
  auto write = [&](uint8_t byte) {
    for (int bit = 0; bit < 8; ++bit) {
      const bool one = (byte >> bit) & 1;
      line.Hold(at, one ? 6 : 64, false), line.Hold(at, one ? 64 : 6, true);
    }
  };
  auto read = [&](uint8_t byte) {
    for (int bit = 0; bit < 8; ++bit) {
      const bool one = (byte >> bit) & 1;
      line.Hold(at, one ? 3 : 30, false), line.Hold(at, one ? 67 : 40, true);
    }
  };
  uint8_t rom[8] = {0x28, 0x5A, 0x3C, 0x71, 0x0B, 0x00, 0x00, 0};
  rom[7] = Crc8(rom, 7);
  for (uint32_t reading = 0; at + 20000 < words.size(); ++reading) {
    reset();
    write(0x33);  // read ROM
    for (uint8_t byte : rom) read(byte);
    at += 2000;
    reset();
    write(0xCC), write(0x44);  // skip ROM, convert temperature
    at += 5000;
    reset();
    write(0xCC), write(0xBE);  // skip ROM, read scratchpad
    const auto celsius16 = static_cast<uint16_t>(21 * 16 + reading * 3);
    uint8_t pad[9] = {static_cast<uint8_t>(celsius16), static_cast<uint8_t>(celsius16 >> 8), 0x4B, 0x46, 0x7F,
                      0xFF, 0x0C, 0x10, 0};
    pad[8] = Crc8(pad, 8);
    for (uint8_t byte : pad) read(byte);
    at += 10000;
  }
}

// I2S, 16-bit stereo, 8 samples per bit (256 a frame), as many frames as
// fit; the sine's period of 32 frames divides the generators' period, so the
// source loops without a seam. Word select and data change as the clock
// falls at the start of each bit period.
void RenderI2s(std::vector<uint32_t>& words) {
  constexpr uint32_t kHalf = 4;
  constexpr uint32_t kSlot = 16;
  Line clock(words, 1), select(words, 2), data(words, 3);
  const auto periods = static_cast<uint32_t>(words.size() / (2 * kHalf)) / (2 * kSlot) * (2 * kSlot);
  auto value = [](uint32_t slot) {
    const double phase = 2.0 * std::numbers::pi * static_cast<double>(slot / 2 % 32) / 32.0;
    return static_cast<uint16_t>(std::lround(12000.0 * (slot % 2 ? std::cos(phase) : std::sin(phase))));
  };
  uint32_t at = 0;
  for (uint32_t k = 0; k < periods; ++k) {
    // One period late: the last period of a slot carries the least
    // significant bit of the slot before.
    const uint32_t bit = (k + periods - 1) % periods;
    uint32_t from = at;
    select.Hold(from, 2 * kHalf, (k / kSlot) % 2 == 1);
    from = at;
    data.Hold(from, 2 * kHalf, (value(bit / kSlot) >> (kSlot - 1 - bit % kSlot)) & 1);
    clock.Hold(at, kHalf, false);
    clock.Hold(at, kHalf, true);
  }
}

// Frames of an address word and three data words, 9 bits each, 8 samples a
// bit, chip select low around them.
void RenderSerial(std::vector<uint32_t>& words) {
  constexpr uint32_t kHalf = 4;
  Line clock(words, 4), data(words, 5), select(words, 6);
  clock.Fill(0, false);
  select.Fill(0, true);
  uint32_t at = 100;
  for (uint32_t frame = 0; at + 400 < words.size(); ++frame) {
    const uint32_t values[4] = {0x100 | (frame % 8), (frame * 7) & 0xFF, (frame * 13 + 5) & 0xFF, 0x5A};
    uint32_t from = at;
    select.Hold(from, 36 * 2 * kHalf + 2 * kHalf, false);
    at += kHalf;
    for (uint32_t value : values) {
      for (int bit = 8; bit >= 0; --bit) {
        uint32_t d = at;
        data.Hold(d, 2 * kHalf, (value >> bit) & 1);
        clock.Hold(at, kHalf, false);
        clock.Hold(at, kHalf, true);
      }
    }
    clock.Hold(at, kHalf, false);
    at += 64;
  }
}

// One byte of text every 32 samples: data set up, the strobe low for 8.
void RenderParallel(std::vector<uint32_t>& words) {
  constexpr std::string_view kText = "tqla parallel port demo ";
  Line strobe(words, 7);
  strobe.Fill(0, true);
  size_t c = 0;
  for (uint32_t at = 16; at + 32 <= words.size(); at += 32, c = (c + 1) % kText.size()) {
    const auto byte = static_cast<uint8_t>(kText[c]);
    for (uint32_t i = at; i < at + 32; ++i) words[i] = (words[i] & ~0xFF00u) | (uint32_t{byte} << 8);
    uint32_t low = at + 8;
    strobe.Hold(low, 8, false);
  }
}

}  // namespace

void RenderStreamsTraffic(std::vector<uint32_t>& words) {
  RenderOneWire(words);
  RenderI2s(words);
  RenderSerial(words);
  RenderParallel(words);
}

}  // namespace tqla::sim
