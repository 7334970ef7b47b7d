// Pattern editing in the plain layout (one sample per word) and the packed
// layout (two 16-bit samples per word, the even one in bits 16-31).
#include <algorithm>

#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

namespace {

// Bits of word index/2 that hold packed sample index.
constexpr int PackedShift(uint32_t index) { return (index & 1u) ? 0 : 16; }

int64_t ClampIndex(int64_t index, int64_t last) { return index < 0 ? 0 : std::min(index, last); }

}  // namespace

extern "C" {

uint32_t* TQLA_API MakeBufferSG(uint32_t samples) {
  return Guarded<uint32_t*>("MakeBufferSG", nullptr, [&]() -> uint32_t* {
    const uint32_t words = samples / 2;
    Trace("MakeBufferSG() of size %ld", static_cast<long>(words));
    if (samples & 0xFFFFu) {
      Fail("MakeBufferSG: %u samples is not a multiple of 65536", samples);
      return nullptr;
    }
    uint32_t* block = AllocateSampleWords(words);
    if (!block) {
      TraceText("Buffer not allocated.");
      Fail("MakeBufferSG: %u words do not fit in free memory", words);
      return nullptr;
    }
    TraceText("Buffer allocated.");
    SetCurrentBuffer(block, words, words);
    sampleBuffer.CapturedLength.store(words, std::memory_order_relaxed);
    return block;
  });
}

int32_t TQLA_API SetData(uint32_t index, uint32_t value) {
  const WordSpan s = CurrentSamples();
  if (index >= s.length) return 0;
  s.words[index] = value;
  return 1;
}

int32_t TQLA_API SetDataSG(uint32_t index, uint32_t value) {
  const WordSpan s = CurrentSamples();
  if (index / 2 >= s.length) return 0;
  const int shift = PackedShift(index);
  uint32_t& word = s.words[index / 2];
  word = (word & ~(0xFFFFu << shift)) | ((value & 0xFFFFu) << shift);
  return 1;
}

// An empty buffer has no word to clamp to: nothing is touched and 0 returned.
int32_t TQLA_API SetBlockData(int32_t first, int32_t last, uint8_t channel, uint8_t level) {
  const WordSpan s = CurrentSamples();
  if (s.empty()) return 0;
  int64_t from = ClampIndex(first, s.length - 1);
  int64_t to = ClampIndex(last, s.length - 1);
  if (from > to) std::swap(from, to);
  const uint32_t bit = 1u << (channel & 31u);
  if (level) {
    for (int64_t i = from; i <= to; ++i) s.words[i] |= bit;
  } else {
    for (int64_t i = from; i <= to; ++i) s.words[i] &= ~bit;
  }
  return 1;
}

int32_t TQLA_API SetBlockDataSG(int32_t first, int32_t last, uint8_t channel, uint8_t level) {
  const WordSpan s = CurrentSamples();
  if (s.empty()) return 0;
  const int64_t lastSample = 2 * static_cast<int64_t>(s.length) - 1;
  auto clamp = [&](int64_t index) -> int64_t {
    if (index < 0) return 0;
    return index / 2 >= s.length ? lastSample : index;
  };
  int64_t from = clamp(first);
  int64_t to = clamp(last);
  if (from > to) std::swap(from, to);
  const uint32_t oddBit = 1u << (channel & 31u);
  const uint32_t evenBit = 1u << (((channel & 31u) + 16) & 31u);
  for (int64_t i = from; i <= to; ++i) {
    const uint32_t bit = (i & 1) ? oddBit : evenBit;
    if (level)
      s.words[i / 2] |= bit;
    else
      s.words[i / 2] &= ~bit;
  }
  return 1;
}

int32_t TQLA_API LoggedData(uint32_t index) {
  const WordSpan s = CurrentSamples();
  if (s.empty()) return 0;
  return static_cast<int32_t>(s.words[std::min(index, s.length - 1)]);
}

int32_t TQLA_API LoggedDataSG(uint32_t index) {
  const WordSpan s = CurrentSamples();
  if (s.empty()) return 0;
  if (index / 2 >= s.length) return static_cast<int32_t>(s.words[s.length - 1] & 0xFFFFu);
  return static_cast<int32_t>((s.words[index / 2] >> PackedShift(index)) & 0xFFFFu);
}

// With count 0 there is no first byte to read: only the terminator is written.
void TQLA_API CreateVectors(uint8_t* bytes, uint32_t* vectors, uint32_t count) {
  if (!vectors) return;
  if (count == 0 || !bytes) {
    vectors[0] = 0;
    return;
  }
  uint32_t out = 0;
  uint32_t current = bytes[0];
  uint32_t run = 0;
  for (uint32_t i = 0; i < count; ++i) {
    ++run;
    if (bytes[i] != current) {
      vectors[out++] = (current << 12) + run;
      current = bytes[i];
      run = 0;
    }
  }
  vectors[out++] = (current << 12) + run;
  vectors[out] = 0;
}

}  // extern "C"
