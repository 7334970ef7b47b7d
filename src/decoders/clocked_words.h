// What the I2S and synchronous serial decoders share: finding clock edges of
// one kind, and words of 1 to 32 bits with their bit order and hexadecimal
// text.
#pragma once

#include <cstdint>
#include <cstdio>

#include "decoders/change_scan.h"
#include "decoders/decoder_frame.h"

namespace tqla::decoders {

// Bits 0 to n - 1 of value in reverse order: bit 0 becomes bit n - 1.
constexpr uint32_t ReverseBits(uint32_t value, uint32_t n) {
  uint32_t result = 0;
  for (uint32_t k = 0; k < n; ++k) result = (result << 1) | ((value >> k) & 1);
  return result;
}

// Word widths outside 1-32 fail the run before anything is opened.
inline bool CheckBitsPerWord(uint32_t bits, char* errorText) {
  if (bits >= 1 && bits <= 32) return true;
  if (errorText) std::snprintf(errorText, kErrorTextSize, "Bits per word must be 1 to 32");
  return false;
}

struct ClockEdges {
  uint32_t mask;
  bool rising;

  // The first sample after from where the clock reaches the edge's level
  // from the other one; end when there is none before end.
  uint32_t Next(const uint32_t* words, uint32_t from, uint32_t end) const {
    const uint32_t change = NextChange(words, from + 1, end, mask);
    if (change >= end || static_cast<bool>(words[change] & mask) == rising) return change;
    return NextChange(words, change + 1, end, mask);
  }
};

struct WordFormat {
  uint32_t bits;  // 1..32
  bool msbFirst;
  bool blank;

  uint32_t Mask() const { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }
  // The word as sent, from the bits shifted in at bit 0 in order of arrival.
  uint32_t Value(uint32_t shifted) const { return (msbFirst ? shifted : ReverseBits(shifted, bits)) & Mask(); }
  // Two's complement of the word's width, sign-extended.
  int32_t Signed(uint32_t value) const {
    return static_cast<int32_t>(bits < 32 && (value >> (bits - 1)) ? value | ~Mask() : value);
  }
  // As many hexadecimal digits as the width needs, with leading zeros.
  void WriteHex(DecoderRun& run, uint32_t value) const {
    run.Record(blank ? "%0*X " : "%0*X,", static_cast<int>((bits - 1) / 4 + 1), value);
  }
};

}  // namespace tqla::decoders
