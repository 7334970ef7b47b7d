// Pattern samples as the pod's generator takes them: each 16-bit sample goes
// through the inverse pin maps, its channels 0-7 and 8-15 as one byte each
// (width 16) or channels 0-7 alone (width 8). Plain patterns hold a sample per
// word (bits 0-15), packed ones two (the even sample in bits 16-31).
#pragma once

#include <cstdint>

namespace tqla::generator {

enum class Layout : uint8_t { Plain, Packed };

// A channel-order sample to its pod bytes, built from the pin maps once per
// run: pins16 holds both bytes of a 16-bit sample in send order, pins8 the
// one byte of channels 0-7.
struct PinTables {
  uint16_t pins16[65536];
  uint8_t pins8[256];
};

void BuildPinTables(PinTables& tables);

// Pod bytes one pattern word becomes: 1 or 2 (plain), 2 or 4 (packed).
constexpr uint32_t BytesPerWord(Layout layout, uint32_t width) {
  return (layout == Layout::Packed ? 2u : 1u) * (width == 8 ? 1u : 2u);
}

// Converts count pattern words into count * BytesPerWord bytes at out, in the
// order the samples leave the pod.
void ConvertWords(const PinTables& tables, Layout layout, uint32_t width, const uint32_t* words, uint32_t count,
                  uint8_t* out);

}  // namespace tqla::generator
