// Sample times for the exports: the unit a VCD timescale names and each
// sample's time as a whole number of that unit.
#pragma once

#include <cstdint>
#include <string>

namespace tqla::cli {

using Ticks = unsigned __int128;

class Timebase {
 public:
  // rateHz must be nonzero. The unit is the coarsest of 1, 10 and 100 s, ms,
  // us, ns, ps and fs in which every sample time is a whole number; when none
  // is (rates with a factor 3, such as 24 or 12 MHz) it is 1 ps and times are
  // rounded to the nearest ps.
  explicit Timebase(uint32_t rateHz);

  // The unit is 10^exponent seconds.
  int exponent() const { return exponent_; }
  bool exact() const { return exact_; }
  // The unit as VCD writes it: "1us", "100ps", "10s".
  std::string UnitName() const;
  // Time of sample i (counted from time zero) in units.
  Ticks At(uint64_t i) const;
  // Time of sample i in seconds as a decimal text with as many places as the
  // unit needs, e.g. "0.000125" for sample 125 at 1 MHz; locale-independent.
  std::string Seconds(uint64_t i) const;
  // The same written at out (room for 48 characters); returns its end.
  char* WriteSeconds(uint64_t i, char* out) const;

 private:
  uint32_t rate_;
  int exponent_ = -12;
  bool exact_ = false;
  uint64_t unitsPerSample_ = 0;  // when exact
};

std::string ToDecimal(Ticks value);
// Writes value in decimal at out (room for 40 characters); returns its end.
char* WriteDecimal(Ticks value, char* out);

}  // namespace tqla::cli
