// The sample text export: one line per word, digital lines in hex and both
// scope channels in volts.
#include <algorithm>
#include <utility>

#include "data/data_file.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

namespace {

float Volts(uint32_t byte) { return static_cast<float>((static_cast<double>(byte) - 128) * kVoltsPerStep); }

}  // namespace

extern "C" {

// The range is bounded by the words that really exist: a last index past the
// end exports up to the last word. Returns 1 even when the file cannot be
// created, as hosts expect.
int32_t TQLA_API OutputSampleData(char* fileName, uint32_t first, uint32_t last) {
  return Guarded<int32_t>("OutputSampleData", 1, [&] {
    if (first > last) std::swap(first, last);
    DataFile file = OpenDataFile(fileName, "w");
    if (!file) return 1;
    std::fputs("Digital0-F, CH1, CH2\n", file.get());
    const WordSpan s = CurrentSamples();
    const uint32_t end = std::min(last, s.length);
    for (uint32_t i = first; i < end; ++i) {
      const uint32_t w = s.words[i];
      std::fprintf(file.get(), "0x%04X, %5.2f, %5.2f\n", w & kDigitalMask, Volts((w >> kCh1Shift) & 0xFFu),
                   Volts(w >> kCh2Shift));
    }
    return 1;
  });
}

}  // extern "C"
