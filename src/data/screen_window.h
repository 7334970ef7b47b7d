// Which screen columns a trace draws from the data when the zoom is a
// fractional number r of samples per column. Shared by the logic and the scope
// traces so that both leave the same columns empty at either end.
#pragma once

#include <cmath>
#include <cstdint>

namespace tqla {

struct ColumnWindow {
  bool hasData = false;  // false: the data is empty or the screen starts past it
  uint32_t first = 0;    // columns before it lie before the data
  uint32_t end = 0;      // it and the columns after it lie at or past the end
  double position = 0;   // sample position of column `first`
};

inline uint32_t ColumnsUpTo(double columns, uint32_t width) {
  if (!(columns > 0)) return 0;
  return columns >= width ? width : static_cast<uint32_t>(columns);
}

// extent is the number of samples; r must be positive.
inline ColumnWindow FractionalWindow(int32_t start, uint32_t width, double r, uint64_t extent) {
  ColumnWindow w;
  const int64_t s = start;
  if (extent == 0 || s >= static_cast<int64_t>(extent)) return w;
  w.hasData = true;
  if (s < 0) {
    w.first = ColumnsUpTo(std::trunc(static_cast<double>(-s) / r), width);
  } else {
    w.position = static_cast<double>(s);
  }
  const double span = std::trunc((static_cast<double>(width) + 1.0) * r);
  const double distance = static_cast<double>(static_cast<int64_t>(extent) - s);
  // The last two columns before the end of the data stay empty: their
  // windows would reach past it.
  w.end = span >= distance ? ColumnsUpTo(std::trunc(distance / r - 2.0), width) : width;
  return w;
}

}  // namespace tqla
