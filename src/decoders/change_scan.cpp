#include "decoders/change_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tqla::decoders {

uint32_t NextChange(const uint32_t* words, uint32_t from, uint32_t end, uint32_t mask) {
  if (from >= end || mask == 0) return end;
  const uint32_t reference = words[from - 1] & mask;
  uint32_t k = from;
#if defined(__SSE2__)
  // Sixteen words per step: a word differs when its masked bits are not the
  // reference; the exact index is found by the scalar loop below.
  const __m128i vmask = _mm_set1_epi32(static_cast<int>(mask));
  const __m128i vref = _mm_set1_epi32(static_cast<int>(reference));
  while (end - k >= 16) {
    const auto* p = reinterpret_cast<const __m128i*>(words + k);
    const __m128i a = _mm_cmpeq_epi32(_mm_and_si128(_mm_loadu_si128(p), vmask), vref);
    const __m128i b = _mm_cmpeq_epi32(_mm_and_si128(_mm_loadu_si128(p + 1), vmask), vref);
    const __m128i c = _mm_cmpeq_epi32(_mm_and_si128(_mm_loadu_si128(p + 2), vmask), vref);
    const __m128i d = _mm_cmpeq_epi32(_mm_and_si128(_mm_loadu_si128(p + 3), vmask), vref);
    const __m128i all = _mm_and_si128(_mm_and_si128(a, b), _mm_and_si128(c, d));
    if (_mm_movemask_epi8(all) != 0xFFFF) break;
    k += 16;
  }
#endif
  for (; k < end; ++k) {
    if ((words[k] & mask) != reference) return k;
  }
  return end;
}

}  // namespace tqla::decoders
