// Level changes per channel over the whole sample buffer.
#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

extern "C" int32_t TQLA_API CountEdgesInBuffer(int32_t* count0, int32_t* count1, int32_t* count2,
                                              int32_t* count3, int32_t* count4, int32_t* count5,
                                              int32_t* count6, int32_t* count7, int32_t* count8,
                                              int32_t* count9, int32_t* count10, int32_t* count11,
                                              int32_t* count12, int32_t* count13, int32_t* count14,
                                              int32_t* count15) {
  int32_t* results[16] = {count0, count1, count2,  count3,  count4,  count5,  count6,  count7,
                          count8, count9, count10, count11, count12, count13, count14, count15};
  uint32_t counts[16] = {};
  const WordSpan s = CurrentSamples();
  // Sum the XOR of neighbours bit-sliced: one pass, no branch per sample.
  for (uint32_t i = 1; i < s.length; ++i) {
    const uint32_t changed = (s.words[i] ^ s.words[i - 1]) & kDigitalMask;
    for (int b = 0; b < 16; ++b) counts[b] += (changed >> b) & 1u;
  }
  for (int b = 0; b < 16; ++b)
    if (results[b]) *results[b] = static_cast<int32_t>(counts[b]);
  return 0;
}
