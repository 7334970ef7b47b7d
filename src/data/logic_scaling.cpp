// Reduction of logic samples to screen columns: per channel and column a code
// 0 (low), 1 (high) or 2 (the level changes inside the column, or no sample
// there). Zoomed out, a column covers thousands of samples, so a column's
// samples are folded into one AND and one OR over whole words, and the
// channels are split out once per column.
#include <algorithm>
#include <array>
#include <cstring>

#include "data/screen_window.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

namespace {

constexpr uint8_t kNoLevel = 2;

using ChannelArrays = std::array<uint8_t*, 16>;

void FillNoLevel(const ChannelArrays& channels, uint64_t from, uint64_t to) {
  if (from >= to) return;
  for (uint8_t* channel : channels) std::memset(channel + from, kNoLevel, to - from);
}

// What a column saw of each channel: bits high in all samples and in any.
struct Levels {
  uint32_t all = 0xFFFF;
  uint32_t any = 0;
  bool seen = false;
};

void WriteColumn(const ChannelArrays& channels, uint64_t column, const Levels& levels) {
  if (!levels.seen) {
    for (uint8_t* channel : channels) channel[column] = kNoLevel;
    return;
  }
  // high + changing: 0 steady low, 1 steady high, 2 changing.
  const uint32_t changing = levels.any & ~levels.all;
  for (int b = 0; b < 16; ++b)
    channels[b][column] = static_cast<uint8_t>(((levels.any >> b) & 1u) + ((changing >> b) & 1u));
}

// Samples one per word; extent samples exist.
struct PlainSamples {
  const uint32_t* words;
  uint64_t extent;

  Levels Reduce(int64_t from, int64_t to) const {
    const uint64_t lo = static_cast<uint64_t>(std::max<int64_t>(from, 0));
    const uint64_t hi = std::min<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(to, 0)), extent);
    if (lo >= hi) return {};
    uint32_t all = ~0u, any = 0;
    for (uint64_t i = lo; i < hi; ++i) {
      all &= words[i];
      any |= words[i];
    }
    return {all & kDigitalMask, any & kDigitalMask, true};
  }
};

// Two 16-bit samples per word, sample 2k in bits 16-31 of word k and sample
// 2k+1 in bits 0-15; extent samples exist.
struct PackedSamples {
  const uint32_t* words;
  uint64_t extent;

  Levels Reduce(int64_t from, int64_t to) const {
    uint64_t lo = static_cast<uint64_t>(std::max<int64_t>(from, 0));
    uint64_t hi = std::min<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(to, 0)), extent);
    if (lo >= hi) return {};
    uint32_t halfAll = 0xFFFF, halfAny = 0;
    if (lo & 1) {  // an odd first sample is the low half of its word
      const uint32_t v = words[lo / 2] & 0xFFFFu;
      halfAll &= v;
      halfAny |= v;
      ++lo;
    }
    if (lo < hi && (hi & 1)) {  // an even last sample is the high half of its word
      const uint32_t v = words[hi / 2] >> 16;
      halfAll &= v;
      halfAny |= v;
      --hi;
    }
    uint32_t all = ~0u, any = 0;
    for (uint64_t i = lo / 2; i < hi / 2; ++i) {
      all &= words[i];
      any |= words[i];
    }
    return {(all >> 16) & all & halfAll, ((any >> 16) | any | halfAny) & 0xFFFFu, true};
  }
};

// Words of samples that exist: the captured length, bounded by the storage
// when samples is the sample buffer.
uint64_t ReadableCaptured(const uint32_t* samples) {
  return ReadableWords(samples, sampleBuffer.CapturedLength.load(std::memory_order_acquire));
}

bool AnyNull(const ChannelArrays& channels) {
  return std::any_of(channels.begin(), channels.end(), [](const uint8_t* c) { return !c; });
}

uint64_t SaturatingProduct(uint64_t a, uint64_t b) {
  uint64_t product;
  return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

// Zoom as two integers: samplesPerPixel, or pixelsPerSample when that is 0.
// The first sample read is rounded down to even in the packed layout: its
// words are read from the high half.
template <class Samples>
void ScaleWholeZoom(const Samples& data, bool packed, const ChannelArrays& channels, int32_t start,
                    uint32_t width, uint32_t samplesPerPixel, uint32_t pixelsPerSample) {
  const int64_t s = start;
  const uint64_t extent = data.extent;
  if ((samplesPerPixel == 0 && pixelsPerSample == 0) || extent == 0 || s >= static_cast<int64_t>(extent)) {
    FillNoLevel(channels, 0, width);
    return;
  }
  const uint64_t spp = samplesPerPixel, pps = pixelsPerSample;
  uint64_t first = 0, firstSample = 0;
  if (s < 0) {
    first = spp ? static_cast<uint64_t>(-s) / spp : SaturatingProduct(static_cast<uint64_t>(-s), pps);
  } else {
    firstSample = static_cast<uint64_t>(s);
  }
  if (packed) firstSample &= ~uint64_t{1};
  const uint64_t distance = static_cast<uint64_t>(static_cast<int64_t>(extent) - s);
  const uint64_t span = spp ? (uint64_t{width} + 1) * spp : width / pps;
  uint64_t end = width;
  if (span >= distance) {
    const uint64_t reach = spp ? distance / spp : SaturatingProduct(distance, pps);
    end = reach > 2 ? reach - 2 : 0;
  }
  first = std::min<uint64_t>(first, width);
  end = std::min<uint64_t>(end, width);

  FillNoLevel(channels, 0, first);
  if (pps) {
    for (uint64_t c = first; c < end; ++c) {
      const int64_t i = static_cast<int64_t>(firstSample + (c - first) / pps);
      WriteColumn(channels, c, data.Reduce(i, i + 1));
    }
  } else {
    int64_t from = static_cast<int64_t>(firstSample);
    for (uint64_t c = first; c < end; ++c, from += static_cast<int64_t>(spp))
      WriteColumn(channels, c, data.Reduce(from, from + static_cast<int64_t>(spp)));
  }
  FillNoLevel(channels, std::max(first, end), width);
}

// Zoom as scale/1024 samples per column. Each column's window starts two
// samples behind its position and, at a whole zoom, shares its last sample
// with the next window, so no level change falls between two columns.
template <class Samples>
void ScaleFractionalZoom(const Samples& data, bool packed, const ChannelArrays& channels, int32_t start,
                         uint32_t width, uint32_t scale) {
  if (scale == 0) {
    FillNoLevel(channels, 0, width);
    return;
  }
  const double r = scale / 1024.0;
  const ColumnWindow window = FractionalWindow(start, width, r, data.extent);
  if (!window.hasData) {
    FillNoLevel(channels, 0, width);
    return;
  }
  const int64_t whole = scale / 1024;
  // The packed layout reads whole pairs of samples once a column spans more than one.
  const int64_t count = !packed ? whole + 1 : whole == 0 ? 1 : (whole + 2) & ~int64_t{1};
  FillNoLevel(channels, 0, window.first);
  double position = window.position;
  for (uint32_t c = window.first; c < window.end; ++c, position += r) {
    const int64_t at = static_cast<int64_t>(position);
    const int64_t from = position >= 2.0 ? at - 2 : packed ? at : 0;
    WriteColumn(channels, c, data.Reduce(from, from + count));
  }
  FillNoLevel(channels, std::max(window.first, window.end), width);
}

}  // namespace

// Common to all four: when any channel array is null nothing is written; a
// null sample array is a capture without data. Zoom 0 (both integers 0, or
// scale 0) leaves no column to draw: every column gets code 2. Samples past
// the captured length, or past the sample buffer's storage, are absent: a
// column without any sample gets code 2 (only the packed pair rounding can
// reach there).
extern "C" {

void TQLA_API ScaleDataToScreen(uint32_t* samples, uint8_t* channel0, uint8_t* channel1,
                                uint8_t* channel2, uint8_t* channel3, uint8_t* channel4,
                                uint8_t* channel5, uint8_t* channel6, uint8_t* channel7,
                                uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
                                uint8_t* channel11, uint8_t* channel12, uint8_t* channel13,
                                uint8_t* channel14, uint8_t* channel15, int32_t start, uint32_t width,
                                uint32_t samplesPerPixel, uint32_t pixelsPerSample) {
  GuardedVoid("ScaleDataToScreen", [&] {
    const ChannelArrays channels{channel0, channel1, channel2,  channel3,  channel4,  channel5,
                                 channel6, channel7, channel8,  channel9,  channel10, channel11,
                                 channel12, channel13, channel14, channel15};
    if (AnyNull(channels)) return;
    const PlainSamples data{samples, ReadableCaptured(samples)};
    ScaleWholeZoom(data, false, channels, start, width, samplesPerPixel, pixelsPerSample);
  });
}

void TQLA_API ScaleDataToScreenSG(uint32_t* samples, uint8_t* channel0, uint8_t* channel1,
                                  uint8_t* channel2, uint8_t* channel3, uint8_t* channel4,
                                  uint8_t* channel5, uint8_t* channel6, uint8_t* channel7,
                                  uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
                                  uint8_t* channel11, uint8_t* channel12, uint8_t* channel13,
                                  uint8_t* channel14, uint8_t* channel15, int32_t start, uint32_t width,
                                  uint32_t samplesPerPixel, uint32_t pixelsPerSample) {
  GuardedVoid("ScaleDataToScreenSG", [&] {
    const ChannelArrays channels{channel0, channel1, channel2,  channel3,  channel4,  channel5,
                                 channel6, channel7, channel8,  channel9,  channel10, channel11,
                                 channel12, channel13, channel14, channel15};
    if (AnyNull(channels)) return;
    const PackedSamples data{samples, 2 * ReadableCaptured(samples)};
    ScaleWholeZoom(data, true, channels, start, width, samplesPerPixel, pixelsPerSample);
  });
}

void TQLA_API ScaleDataToScreenNew(uint32_t* samples, uint8_t* channel0, uint8_t* channel1,
                                   uint8_t* channel2, uint8_t* channel3, uint8_t* channel4,
                                   uint8_t* channel5, uint8_t* channel6, uint8_t* channel7,
                                   uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
                                   uint8_t* channel11, uint8_t* channel12, uint8_t* channel13,
                                   uint8_t* channel14, uint8_t* channel15, int32_t start, uint32_t width,
                                   uint32_t scale) {
  GuardedVoid("ScaleDataToScreenNew", [&] {
    const ChannelArrays channels{channel0, channel1, channel2,  channel3,  channel4,  channel5,
                                 channel6, channel7, channel8,  channel9,  channel10, channel11,
                                 channel12, channel13, channel14, channel15};
    if (AnyNull(channels)) return;
    const PlainSamples data{samples, ReadableCaptured(samples)};
    ScaleFractionalZoom(data, false, channels, start, width, scale);
  });
}

void TQLA_API ScaleDataToScreenNewSG(uint32_t* samples, uint8_t* channel0, uint8_t* channel1,
                                     uint8_t* channel2, uint8_t* channel3, uint8_t* channel4,
                                     uint8_t* channel5, uint8_t* channel6, uint8_t* channel7,
                                     uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
                                     uint8_t* channel11, uint8_t* channel12, uint8_t* channel13,
                                     uint8_t* channel14, uint8_t* channel15, int32_t start,
                                     uint32_t width, uint32_t scale) {
  GuardedVoid("ScaleDataToScreenNewSG", [&] {
    const ChannelArrays channels{channel0, channel1, channel2,  channel3,  channel4,  channel5,
                                 channel6, channel7, channel8,  channel9,  channel10, channel11,
                                 channel12, channel13, channel14, channel15};
    if (AnyNull(channels)) return;
    const PackedSamples data{samples, 2 * ReadableCaptured(samples)};
    ScaleFractionalZoom(data, true, channels, start, width, scale);
  });
}

}  // extern "C"
