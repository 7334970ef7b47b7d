#include "decoders/fixed_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tqla::decoders {

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
  const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * kPowers[precision];
  uint64_t rounded = 0;
  const int drop = 53 - exponent;
  if (drop < 128) {
    rounded = static_cast<uint64_t>(scaled >> drop);
    const unsigned __int128 rest = scaled & ((static_cast<unsigned __int128>(1) << drop) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (drop - 1);
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
