// Number texts of protocol definition files: a last letter B, D or H picks
// binary, decimal or hexadecimal, and decimals may carry a fraction.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tqla::packets {

struct NumberText {
  double value;
  int8_t decimalPlaces;  // fraction digits of a decimal number
};

// The value of the first length characters of text.
NumberText ParseNumberText(const char* text, size_t length);
// The whole NUL-terminated text.
NumberText ParseNumberText(const char* text);
// The number of a bracket: text runs from after the `[` up to `]`, `,` or NUL.
NumberText ParseBracketNumber(const char* text);

// Value of a digit character: 0-9, A-F and a-f; anything else counts 0.
int DigitValue(char c);

// Truncation toward zero, saturated, so that no value is out of range.
int64_t TruncateSaturated(double value);
// Truncated and then narrowed to 32 bits, as the model stores integers.
inline uint32_t NarrowToUint32(double value) { return static_cast<uint32_t>(TruncateSaturated(value)); }
inline int32_t NarrowToInt32(double value) { return static_cast<int32_t>(NarrowToUint32(value)); }
// Truncated toward zero and kept to its low 32 bits (wrapped modulo 2^32), so
// an unscaled 32-bit field keeps every bit; NaN and infinities give 0.
int32_t TruncateToInt32(double value);

}  // namespace tqla::packets
