// Independent synthesizers for the 1-Wire, I2S, synchronous serial and
// parallel buses, driving lines at times in seconds as the devices would, and
// a reader that takes record lines apart.
#pragma once

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "waveforms.h"

namespace tqla::test {

// A 1-Wire master and its device at standard speed, with timings drawn from
// the ranges devices use. The line idles high.
struct OneWireBus {
  Lines& lines;
  int line;
  std::mt19937& random;
  double t = 40e-6;

  double Us(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random) * 1e-6; }
  void Low(double length) {
    lines.At(t, line, false);
    lines.At(t + length, line, true);
  }
  // Returns the times at which the reset and the presence pulse end.
  std::pair<double, double> Reset() {
    const double reset = Us(500, 960);
    Low(reset);
    const double resetEnd = t + reset;
    t = resetEnd + Us(15, 60);
    const double presence = Us(100, 240);
    Low(presence);
    const double presenceEnd = t + presence;
    t = presenceEnd + Us(250, 400);
    return {resetEnd, presenceEnd};
  }
  // A slot of 62-90 us starting with a low of the given length, and a
  // recovery of at least 2 us.
  void Slot(double low) {
    const double slot = Us(62, 90);
    Low(low);
    t += std::max(slot, low + Us(2, 10));
  }
  // The master writes a 1 by releasing early and a 0 by holding the line; in
  // a read slot the master pulls briefly and the device holds it for a 0.
  void WriteBit(bool one) { Slot(one ? Us(1, 13) : Us(60, 78)); }
  void ReadBit(bool one) { Slot(one ? Us(1, 5) : Us(20, 45)); }
  void Write(uint8_t byte) {
    for (int k = 0; k < 8; ++k) WriteBit((byte >> k) & 1);
  }
  void Read(uint8_t byte) {
    for (int k = 0; k < 8; ++k) ReadBit((byte >> k) & 1);
  }
};

// An I2S transmitter: the clock falls at the start of every bit period and
// rises in its middle; word select and data change on the falls. Each slot
// holds one word, most significant bit first, delay bit periods after the
// word-select change (1 standard, 0 left-justified). Left words go out with
// word select low.
struct I2sTransmitter {
  Lines& lines;
  int ws, sck, sd;
  double bitTime;
  int slotBits;
  int delay;
  bool invertedClock = false;  // data and word select change on rises instead
  double t = 20.01e-6;

  double Fall(int64_t k) const { return t + k * bitTime; }
  // When the word of slot s starts: the delay-th active clock edge after its
  // word-select change.
  double WordStart(int64_t s) const {
    return delay ? Fall(s * slotBits + delay - 1) + bitTime / 2 : Fall(s * slotBits);
  }
  // Sends the words as consecutive slots, left first, and runs the clock on
  // for one more slot without a word-select change.
  void Send(const std::vector<uint32_t>& words, int wordBits) {
    lines.At(0, ws, true);
    lines.At(0, sck, !invertedClock);
    const int64_t periods = static_cast<int64_t>(words.size() + 1) * slotBits + delay;
    for (int64_t k = 0; k < periods; ++k) {
      lines.At(Fall(k), sck, invertedClock);
      lines.At(Fall(k) + bitTime / 2, sck, !invertedClock);
    }
    for (size_t s = 0; s < words.size(); ++s) {
      lines.At(Fall(static_cast<int64_t>(s) * slotBits), ws, s % 2 == 1);
      for (int b = 0; b < wordBits; ++b) {
        lines.At(Fall(static_cast<int64_t>(s) * slotBits + delay + b), sd, (words[s] >> (wordBits - 1 - b)) & 1);
      }
    }
  }
};

// A clocked serial transmitter: data changes on the inactive clock edge and
// is sampled on the active one; the clock idles at the active edge's start
// level. An optional frame line marks transfers.
struct SerialTransmitter {
  Lines& lines;
  int clk, data;
  bool risingSample;
  double half;
  double t = 10e-6;

  void Idle() { lines.At(0, clk, !risingSample); }
  void Bits(uint64_t value, int count, bool msbFirst) {
    for (int k = 0; k < count; ++k) {
      const int bit = msbFirst ? count - 1 - k : k;
      lines.At(t, data, (value >> bit) & 1);
      lines.At(t + half, clk, risingSample);
      lines.At(t + 2 * half, clk, !risingSample);
      t += 2 * half;
    }
  }
  void Frame(int line, bool active, double hold) {
    lines.At(t, line, active);
    t += hold;
  }
};

// Sets the channels of mask (lowest first) to the bits of value at time t.
inline void DriveBus(Lines& lines, double t, uint32_t mask, uint32_t value) {
  for (int channel = 0; channel < 16; ++channel) {
    if (!(mask & (1u << channel))) continue;
    lines.At(t, channel, value & 1);
    value >>= 1;
  }
}

// The values of a record body, each ended by the delimiter.
inline std::vector<std::string> Split(const std::string& body, char delimiter) {
  std::vector<std::string> values;
  for (size_t from = 0, cut; (cut = body.find(delimiter, from)) != std::string::npos; from = cut + 1) {
    values.push_back(body.substr(from, cut - from));
  }
  return values;
}

inline std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace tqla::test
