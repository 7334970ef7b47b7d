// Search of a finished buffer for a sequence of (mask, value) byte steps, so
// that a host can jump to the first or the last occurrence.
#include <algorithm>

#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

namespace {

// Index of the first word in [from, to) with (word & mask) == value, or to.
uint32_t FindStep(const uint32_t* words, uint32_t from, uint32_t to, uint8_t mask, uint8_t value) {
  for (uint32_t i = from; i < to; ++i)
    if ((words[i] & mask) == value) return i;
  return to;
}

}  // namespace

// The last-occurrence search with no steps would never advance: it returns -1.
// Words past the end of the buffer are never examined, whatever position says.
extern "C" int32_t TQLA_API SearchForTrigger(uint8_t* steps, uint32_t stepCount, uint32_t position,
                                             uint32_t forward) {
  return Guarded<int32_t>("SearchForTrigger", -1, [&]() -> int32_t {
    const WordSpan s = CurrentSamples();
    if (stepCount > 0 && !steps) return -1;
    if (forward) {
      for (uint32_t k = 0; k < stepCount; ++k) {
        if (position >= s.length) continue;
        const uint32_t found = FindStep(s.words, position, s.length, steps[2 * k], steps[2 * k + 1]);
        if (found == s.length) return -1;
        position = found + 1;
      }
      return static_cast<int32_t>(position);
    }
    if (stepCount == 0) return -1;
    int32_t result = -1;
    uint32_t p = 0;
    while (p < position) {
      for (uint32_t k = 0; k < stepCount; ++k) {
        const int64_t n = static_cast<int64_t>(position) - p - 1;
        if (n < 1) return result;
        const uint32_t to = static_cast<uint32_t>(std::min<int64_t>(p + n, s.length));
        if (p >= to) return result;
        const uint32_t found = FindStep(s.words, p, to, steps[2 * k], steps[2 * k + 1]);
        if (found == to) return result;
        p = found + 1;
      }
      result = static_cast<int32_t>(p);
    }
    return result;
  });
}
