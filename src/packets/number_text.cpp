#include "packets/number_text.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace tqla::packets {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

NumberText ParseDecimal(const char* text, size_t length) {
  NumberText number{0.0, 0};
  size_t i = 0;
  bool negative = false;
  if (i < length && text[i] == '-') {
    negative = true;
    ++i;
  }
  bool fraction = false;
  double weight = 1.0;
  int places = 0;
  for (; i < length && (IsHexDigit(text[i]) || text[i] == '.'); ++i) {
    if (text[i] == '.') {
      fraction = true;
      continue;
    }
    const int digit = DigitValue(text[i]);
    if (fraction) {
      weight /= 10.0;
      number.value += digit * weight;
      if (places < std::numeric_limits<int8_t>::max()) ++places;
    } else {
      number.value = number.value * 10.0 + digit;
    }
  }
  if (negative) number.value = -number.value;
  number.decimalPlaces = static_cast<int8_t>(places);
  return number;
}

NumberText ParseRadix(const char* text, size_t length, int radix) {
  double value = 0.0;
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (radix == 16 ? !IsHexDigit(c) : (c != '0' && c != '1')) break;
    value = value * radix + DigitValue(c);
  }
  return {value, 0};
}

}  // namespace

NumberText ParseNumberText(const char* text, size_t length) {
  if (!text || length == 0) return {0.0, 0};
  switch (text[length - 1]) {
    case 'B':
      return ParseRadix(text, length - 1, 2);
    case 'H':
      return ParseRadix(text, length - 1, 16);
    case 'D':
      return ParseDecimal(text, length - 1);
    default:
      return ParseDecimal(text, length);
  }
}

NumberText ParseNumberText(const char* text) { return ParseNumberText(text, text ? std::strlen(text) : 0); }

NumberText ParseBracketNumber(const char* text) { return ParseNumberText(text, std::strcspn(text, "],")); }

int64_t TruncateSaturated(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (value <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

int32_t TruncateToInt32(double value) {
  if (!std::isfinite(value)) return 0;
  // fmod keeps the integer's low bits exactly while the double holds it whole.
  const auto low = static_cast<int64_t>(std::fmod(std::trunc(value), 4294967296.0));
  return static_cast<int32_t>(static_cast<uint32_t>(low));
}

}  // namespace tqla::packets
