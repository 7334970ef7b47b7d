#include "timebase.h"

#include <cstdint>


namespace tqla::cli {

namespace {

constexpr uint64_t kFemtosecondsPerSecond = 1000000000000000ull;

uint64_t Pow10(int n) {
  uint64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

}  // namespace

Timebase::Timebase(uint32_t rateHz) : rate_(rateHz ? rateHz : 1) {
  // A unit of 10^k fs divides every sample time exactly when rate x 10^k
  // divides 10^15 fs (one second). Units above 1 s would need rates below 1 Hz.
  for (int k = 15; k >= 0; --k) {
    const uint64_t unit = Pow10(k);
    if (rate_ > kFemtosecondsPerSecond / unit) continue;
    if (kFemtosecondsPerSecond % (rate_ * unit) != 0) continue;
    exponent_ = k - 15;
    exact_ = true;
    unitsPerSample_ = kFemtosecondsPerSecond / (rate_ * unit);
    return;
  }
  exponent_ = -12;
  exact_ = false;
}

std::string Timebase::UnitName() const {
  static const char* const kPrefixes[] = {"fs", "ps", "ns", "us", "ms", "s"};
  const int shifted = exponent_ + 15;  // 0 for 1 fs
  const int group = shifted / 3 < 5 ? shifted / 3 : 5;
  const int magnitude = shifted - group * 3;
  return std::to_string(Pow10(magnitude)) + kPrefixes[group];
}

Ticks Timebase::At(uint64_t i) const {
  if (exact_) return static_cast<Ticks>(i) * unitsPerSample_;
  const Ticks numerator = static_cast<Ticks>(i) * 1000000000000ull;
  return (numerator * 2 + rate_) / (static_cast<Ticks>(rate_) * 2);
}

std::string Timebase::Seconds(uint64_t i) const {
  char text[48];
  return std::string(text, WriteSeconds(i, text));
}

char* Timebase::WriteSeconds(uint64_t i, char* out) const {
  const Ticks ticks = At(i);
  if (exponent_ >= 0) return WriteDecimal(ticks * Pow10(exponent_), out);
  const int places = -exponent_;
  const uint64_t scale = Pow10(places);
  out = WriteDecimal(ticks / scale, out);
  *out++ = '.';
  // The fraction below 10^places fits 64 bits: its digits, zero-padded.
  uint64_t fraction = static_cast<uint64_t>(ticks % scale);
  for (int p = places - 1; p >= 0; --p) {
    out[p] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return out + places;
}

std::string ToDecimal(Ticks value) {
  char text[40];
  return std::string(text, WriteDecimal(value, text));
}

namespace {

// Two digits at a time from a table: no 128-bit division per digit.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* WriteDecimal64(uint64_t value, char* out) {
  char digits[24];
  int n = 24;
  while (value >= 100) {
    const auto pair = static_cast<size_t>(value % 100) * 2;
    value /= 100;
    digits[--n] = kPairs[pair + 1];
    digits[--n] = kPairs[pair];
  }
  if (value >= 10) {
    digits[--n] = kPairs[value * 2 + 1];
    digits[--n] = kPairs[value * 2];
  } else {
    digits[--n] = static_cast<char>('0' + value);
  }
  const int length = 24 - n;
  for (int k = 0; k < length; ++k) out[k] = digits[n + k];
  return out + length;
}

}  // namespace

char* WriteDecimal(Ticks value, char* out) {
  if (value <= UINT64_MAX) return WriteDecimal64(static_cast<uint64_t>(value), out);
  char digits[40];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  while (n > 0) *out++ = digits[--n];
  return out;
}

}  // namespace tqla::cli
