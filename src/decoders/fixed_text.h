// Fixed-point text of a double without printf, for the timestamps every
// record header carries: the same characters as "%*.*f" gives, rounding the
// double's exact binary value to nearest with ties to even.
#pragma once

#include <cstddef>

namespace tqla::decoders {

// Writes x as "%*.*f" with width and precision (0-9) would, NUL-terminated,
// into text of size bytes; returns the length written.
size_t FormatFixed(char* text, size_t size, double x, int width, int precision);

}  // namespace tqla::decoders
