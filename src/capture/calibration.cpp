// Calibration of the analog bytes in time slices, and the small scope reads.
#include "capture/calibration.h"

#include <algorithm>
#include <cstring>

#include "frame/export.h"
#include "frame/sample_buffer.h"
#include "platform/clock.h"

namespace tqla {

CalibrationState calibrationState;

namespace {

// v = (raw - offset) x gain / step + 128 in extended precision, kept as a
// float, clamped to a byte and truncated.
void BuildTable(uint8_t* table, float offset, float gain) {
  for (int raw = 0; raw < 256; ++raw) {
    float v = static_cast<float>((static_cast<long double>(raw) - offset) * gain / 0.078125L + 128.0L);
    if (v < 0) v = 0;
    if (v > 255) v = 255;
    table[raw] = static_cast<uint8_t>(v);
  }
}

}  // namespace
}  // namespace tqla

using namespace tqla;

extern "C" {

int32_t TQLA_API CalibrateScope(uint32_t offset1, uint32_t gain1, uint32_t offset2, uint32_t gain2) {
  return Guarded<int32_t>("CalibrateScope", 0, [&] {
    const uint32_t startTick = platform::TickCount();
    const float fOffset1 = offset1 / 1048576.0f;
    const float fGain1 = gain1 / 1048576.0f;
    const float fOffset2 = offset2 / 1048576.0f;
    const float fGain2 = gain2 / 1048576.0f;
    CalibrationState& c = calibrationState;
    if (c.firstPass == 1) {
      c.progressIndex = 0;
      c.firstPass = 0;
      BuildTable(c.ch1Table, fOffset1, fGain1);
      BuildTable(c.ch2Table, fOffset2, fGain2);
      TraceText("CalibrateScope Init");
    }
    Trace("CalibrateScope x=%d", static_cast<int>(c.progressIndex));
    const WordSpan s = CurrentSamples();
    for (uint32_t x = c.progressIndex; x < s.length; ++x) {
      const uint32_t w = s.words[x];
      s.words[x] = (w & 0xFFFFu) | static_cast<uint32_t>(c.ch1Table[(w >> 16) & 0xFFu]) << 16 |
                   static_cast<uint32_t>(c.ch2Table[w >> 24]) << 24;
      if ((x & 0xFFFFu) == 0 && platform::TickCount() != startTick) {
        Trace("CalibrateScope Timeout x=%d", static_cast<int>(x));
        c.progressIndex = x + 1;
        return -1;
      }
    }
    Trace("CalibrateScope Done x=%d", static_cast<int>(s.length));
    c.firstPass = 1;
    return 0;
  });
}

int32_t TQLA_API ScopeData(int32_t index, uint32_t channel) {
  const WordSpan s = CurrentSamples();
  if (s.empty() || index < 0) return 0;
  const uint32_t word = s.words[std::min(static_cast<uint32_t>(index), s.length - 1)];
  return static_cast<int32_t>(channel == 1 ? (word >> 16) & 0xFFu : word >> 24);
}

// A second array that was never made reads as zeros already; only the words
// that exist are cleared, so this never allocates.
int32_t TQLA_API ClearScopeData(void) {
  const WordSpan second = ExistingSecondArray();
  const uint32_t count = std::min(second.length, sampleBuffer.BufferLength);
  if (count) std::memset(second.words, 0, count * sizeof(uint32_t));
  return 1;
}

int32_t TQLA_API GetGain(void) { return 123; }

}  // extern "C"
