// Reduction of one analog channel to screen columns: the lowest and highest
// byte each column covers, 256 where it covers none. The newer form also
// shifts the trace so that the trigger crossing, found to a fraction of a
// sample, sits at the same column on every repaint.
#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/screen_window.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

namespace {

constexpr uint32_t kNoSample = 256;

// Trigger offset in columns found on the trigger channel's trace and reused
// for the other channel's.
double storedTriggerOffset = 0;

struct Extremes {
  uint32_t low;
  uint32_t high;
};

// One analog byte lane of the sample words; extent words exist.
struct AnalogLane {
  const uint32_t* words;
  uint64_t extent;
  int shift;

  uint32_t At(uint64_t i) const { return (words[i] >> shift) & 0xFFu; }

  Extremes Reduce(int64_t from, int64_t to) const {
    uint64_t lo = static_cast<uint64_t>(std::max<int64_t>(from, 0));
    const uint64_t hi = std::min<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(to, 0)), extent);
    if (lo >= hi) return {kNoSample, kNoSample};
    uint32_t low = 0xFF, high = 0;
#if defined(__SSE2__)
    if (hi - lo >= 8) {
      // Byte-wise min/max over whole words; this lane's bytes are every
      // fourth byte of the result.
      __m128i lows = _mm_set1_epi8(static_cast<char>(0xFF));
      __m128i highs = _mm_setzero_si128();
      for (; lo + 4 <= hi; lo += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + lo));
        lows = _mm_min_epu8(lows, v);
        highs = _mm_max_epu8(highs, v);
      }
      alignas(16) uint8_t lowBytes[16];
      alignas(16) uint8_t highBytes[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(lowBytes), lows);
      _mm_store_si128(reinterpret_cast<__m128i*>(highBytes), highs);
      for (int j = shift / 8; j < 16; j += 4) {
        low = std::min<uint32_t>(low, lowBytes[j]);
        high = std::max<uint32_t>(high, highBytes[j]);
      }
    }
#endif
    for (; lo < hi; ++lo) {
      const uint32_t v = At(lo);
      low = std::min(low, v);
      high = std::max(high, v);
    }
    return {low, high};
  }
};

AnalogLane LaneOf(const uint32_t* samples, uint32_t channel) {
  const uint32_t captured = sampleBuffer.CapturedLength.load(std::memory_order_acquire);
  return {samples, ReadableWords(samples, captured), channel == 1 ? kCh1Shift : kCh2Shift};
}

void FillNoSample(uint32_t* minimum, uint32_t* maximum, uint64_t from, uint64_t to) {
  if (from >= to) return;
  std::fill(minimum + from, minimum + to, kNoSample);
  std::fill(maximum + from, maximum + to, kNoSample);
}

// Draws all width columns at r = scale/unit samples per column. Zoomed in,
// firstOnly leaves 256 in the columns that repeat the previous column's sample.
void DrawColumns(const AnalogLane& lane, uint32_t* minimum, uint32_t* maximum, int32_t start,
                 uint32_t width, uint32_t scale, uint32_t unit, bool firstOnly) {
  const double r = static_cast<double>(scale) / unit;
  const ColumnWindow window = FractionalWindow(start, width, r, lane.extent);
  if (!window.hasData) {
    FillNoSample(minimum, maximum, 0, width);
    return;
  }
  FillNoSample(minimum, maximum, 0, window.first);
  double position = window.position;
  const int64_t whole = scale / unit;
  if (whole >= 1) {
    // The window starts half a sample back so that neighbouring columns share
    // about one sample and no step falls between two strokes.
    for (uint32_t c = window.first; c < window.end; ++c, position += r) {
      const int64_t from = static_cast<int64_t>(position - 0.5);
      const Extremes e = lane.Reduce(from, from + whole + 1);
      minimum[c] = e.low;
      maximum[c] = e.high;
    }
  } else {
    int64_t previous = -1;
    for (uint32_t c = window.first; c < window.end; ++c, position += r) {
      const int64_t at = static_cast<int64_t>(position);
      const bool show = !firstOnly || at != previous;
      const Extremes e = show ? lane.Reduce(at, at + 1) : Extremes{kNoSample, kNoSample};
      minimum[c] = e.low;
      maximum[c] = e.high;
      previous = at;
    }
  }
  FillNoSample(minimum, maximum, std::max(window.first, window.end), width);
}

// Where, in columns, the trace crosses level between the trigger sample and
// its neighbours, searched outwards from the trigger sample; 0 when it does
// not. Samples past the readable words are not examined.
double TriggerCrossing(const uint32_t* samples, int shift, uint32_t trigger, uint32_t readable,
                       uint32_t level, double r) {
  const int v = static_cast<int>(level);
  for (int k = 0; k <= 10; ++k) {
    const int d = (k & 1) ? -(k / 2) : k / 2;
    const uint64_t ia = static_cast<uint64_t>(int64_t{trigger} + d);
    if (ia + 1 >= readable) continue;
    const int a = static_cast<int>((samples[ia] >> shift) & 0xFFu);
    const int b = static_cast<int>((samples[ia + 1] >> shift) & 0xFFu);
    if (a == v && b == v) return -d / r;
    if (a != b && std::min(a, b) <= v && v <= std::max(a, b))
      return -(d + static_cast<double>(v - a) / (b - a)) / r;
  }
  return 0;
}

// Moves the columns by the whole part of offset; the columns the move
// leaves behind keep their values.
int32_t ShiftColumns(uint32_t* minimum, uint32_t* maximum, uint32_t width, double offset) {
  const int64_t k = static_cast<int64_t>(offset);
  if (offset <= 0) {
    for (int64_t i = 0; static_cast<double>(i) < width + offset; ++i) {
      minimum[i] = minimum[i - k];
      maximum[i] = maximum[i - k];
    }
  } else {
    for (int64_t i = int64_t{width} - 1; static_cast<double>(i) > offset; --i) {
      minimum[i] = minimum[i - k];
      maximum[i] = maximum[i - k];
    }
  }
  return static_cast<int32_t>(k);
}

}  // namespace

// Both: null output arrays mean nothing is done; a null sample array is a
// capture without data. A zero scale leaves nothing to divide by: every
// column is 256 (and the newer form reports a shift of 0 and keeps the stored
// trigger offset). Samples past the captured length, or past the sample
// buffer's storage, are absent; a column without any sample is 256.
extern "C" {

void TQLA_API ScaleScopeDataToScreenNew(uint32_t* samples, uint32_t channel, uint32_t* minimum,
                                        uint32_t* maximum, int32_t start, uint32_t width,
                                        uint32_t scale) {
  GuardedVoid("ScaleScopeDataToScreenNew", [&] {
    if (!minimum || !maximum) return;
    if (scale == 0) {
      FillNoSample(minimum, maximum, 0, width);
      return;
    }
    DrawColumns(LaneOf(samples, channel), minimum, maximum, start, width, scale, 1024, false);
  });
}

// The trigger search reads up to six samples past the trigger sample, within
// BufferLength and the storage; a pair reaching past them is passed over.
void TQLA_API ScaleScopeDataToScreenVeryNew(uint32_t* samples, uint32_t channel,
                                            uint32_t triggerChannel, uint32_t* minimum,
                                            uint32_t* maximum, int32_t start, uint32_t width,
                                            uint32_t scale, int32_t* shift, int32_t interpolate) {
  GuardedVoid("ScaleScopeDataToScreenVeryNew", [&] {
    if (!minimum || !maximum) return;
    if (scale == 0) {
      FillNoSample(minimum, maximum, 0, width);
      if (shift) *shift = 0;
      return;
    }
    const bool onTriggerChannel = channel == triggerChannel;
    if (onTriggerChannel) storedTriggerOffset = 0;
    const AnalogLane lane = LaneOf(samples, channel);
    const double r = scale / 3500.0;
    const uint32_t trigger = sampleBuffer.TriggerIndex.load(std::memory_order_acquire);
    const uint32_t bufferLength = sampleBuffer.BufferLength;
    double offset = 0;
    if (trigger != 0 && trigger <= bufferLength && interpolate != 0) {
      if (!onTriggerChannel) {
        offset = storedTriggerOffset;
      } else {
        if (trigger > 10 && samples)
          offset = TriggerCrossing(samples, lane.shift, trigger, ReadableWords(samples, bufferLength),
                                   sampleBuffer.AnalogTriggerLevel.load(std::memory_order_acquire), r);
        storedTriggerOffset = offset;
      }
    }
    DrawColumns(lane, minimum, maximum, start, width, scale, 3500, true);
    const int32_t moved = ShiftColumns(minimum, maximum, width, offset);
    if (shift) *shift = moved;
  });
}

}  // extern "C"
