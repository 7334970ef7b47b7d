#include "decoders/fixed_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tqla::decoders {
namespace {

// An unsigned 128-bit number from two 64-bit halves: 32-bit targets have no
// built-in type of that width.
struct Wide {
  uint64_t high = 0;
  uint64_t low = 0;

  // a * b, exactly.
  static Wide Product(uint64_t a, uint32_t b) {
    const uint64_t lowPart = (a & 0xFFFFFFFFu) * b;
    const uint64_t highPart = (a >> 32) * b;
    Wide w;
    w.low = lowPart + (highPart << 32);
    w.high = (highPart >> 32) + (w.low < lowPart ? 1 : 0);
    return w;
  }
  // The bits below bit n (0 < n < 128) and the number shifted right by n.
  Wide Below(int n) const {
    if (n >= 64) return {n == 64 ? 0 : high & ((uint64_t{1} << (n - 64)) - 1), low};
    return {0, low & ((uint64_t{1} << n) - 1)};
  }
  uint64_t ShiftedLow(int n) const {
    if (n >= 64) return n == 64 ? high : high >> (n - 64);
    return (low >> n) | (high << (64 - n));
  }
  static Wide Bit(int n) { return n >= 64 ? Wide{uint64_t{1} << (n - 64), 0} : Wide{0, uint64_t{1} << n}; }
  friend bool operator==(const Wide&, const Wide&) = default;
  friend bool operator>(const Wide& a, const Wide& b) { return a.high != b.high ? a.high > b.high : a.low > b.low; }
};

}  // namespace

size_t FormatFixed(char* text, size_t size, double x, int width, int precision) {
  static constexpr uint64_t kPowers[] = {1,      10,      100,      1000,      10000,
                                         100000, 1000000, 10000000, 100000000, 1000000000};
  // |x| = mantissa * 2^(exponent - 53) exactly; below 2^34, mantissa *
  // 10^precision fits in 128 bits and the rounded result in 64.
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(x), &exponent);
  if (!std::isfinite(x) || precision < 0 || precision > 9 || exponent > 34 || width < 0 ||
      static_cast<size_t>(width) + 1 > size || size < 32) {
    const int length = std::snprintf(text, size, "%*.*f", width, precision, x);
    return length < 0 ? 0 : std::min(static_cast<size_t>(length), size - 1);
  }
  const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  const Wide scaled = Wide::Product(mantissa, static_cast<uint32_t>(kPowers[precision]));
  uint64_t rounded = 0;
  const int drop = 53 - exponent;  // at least 19
  if (drop < 128) {
    rounded = scaled.ShiftedLow(drop);
    const Wide rest = scaled.Below(drop);
    const Wide half = Wide::Bit(drop - 1);
    if (rest > half || (rest == half && (rounded & 1))) ++rounded;
  }

  char digits[48];
  int count = 0;
  uint64_t whole = rounded / kPowers[precision];
  uint64_t part = rounded % kPowers[precision];
  for (int k = 0; k < precision; ++k, part /= 10) digits[count++] = static_cast<char>('0' + part % 10);
  if (precision > 0) digits[count++] = '.';
  do {
    digits[count++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole);
  if (std::signbit(x)) digits[count++] = '-';

  size_t length = 0;
  for (int pad = width - count; pad > 0; --pad) text[length++] = ' ';
  while (count) text[length++] = digits[--count];
  text[length] = '\0';
  return length;
}

}  // namespace tqla::decoders
