#include "frame/sample_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <map>
#include <vector>

#include "frame/export.h"
#include "frame/large_memory.h"
#include "platform/memory.h"

namespace tqla {

SampleBufferState sampleBuffer;

namespace {

struct Allocations {
  std::mutex lock;
  std::map<const uint32_t*, uint64_t> blocks;  // start -> words
  BlockReleaseCheck releaseCheck = nullptr;
};
Allocations& allocations() {
  static Allocations instance;
  return instance;
}

struct SecondArrayState {
  std::mutex lock;
  std::vector<uint32_t> words;
};
SecondArrayState& secondArray() {
  static SecondArrayState instance;
  return instance;
}

}  // namespace

WordSpan CurrentSamples() {
  const SampleBufferState& s = sampleBuffer;
  if (!s.SampleBuffer) return {};
  return {s.SampleBuffer, std::min(s.BufferLength, s.StorageWords)};
}

uint32_t ReadableWords(const uint32_t* samples, uint32_t count) {
  if (!samples) return 0;
  if (samples == sampleBuffer.SampleBuffer) return std::min(count, sampleBuffer.StorageWords);
  return count;
}

void SetCurrentBuffer(uint32_t* words, uint32_t length, uint32_t storageWords) {
  sampleBuffer.SampleBuffer = words;
  sampleBuffer.BufferLength = length;
  sampleBuffer.StorageWords = words ? storageWords : 0;
}

uint32_t* AllocateSampleWords(uint32_t count) {
  const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(uint32_t);
  // An overcommitting kernel grants nearly any size and kills the host later
  // while the fill touches it; refuse what free memory cannot hold.
  if (bytes > AvailablePhysicalMemory()) return nullptr;
  auto* words = static_cast<uint32_t*>(AllocateLarge(bytes));
  if (!words) return nullptr;
  // 0xCCCCCCCC is one byte repeated: memset fills at the memory's speed.
  std::memset(words, 0xCC, bytes);
  Allocations& a = allocations();
  std::lock_guard<std::mutex> hold(a.lock);
  a.blocks[words] = count;
  return words;
}

bool FreeSampleWords(uint32_t* words) {
  Allocations& a = allocations();
  uint64_t count = 0;
  BlockReleaseCheck check = nullptr;
  {
    std::lock_guard<std::mutex> hold(a.lock);
    auto it = a.blocks.find(words);
    if (it == a.blocks.end()) return false;
    count = it->second;
    check = a.releaseCheck;
  }
  // Outside the lock: the check may wait for a run's threads to end.
  if (check && !check(words, words + count)) return false;
  {
    std::lock_guard<std::mutex> hold(a.lock);
    if (a.blocks.erase(words) == 0) return false;
  }
  // The current pointer stays as hosts expect, but no operation may read
  // through it any more (a capture may have made a place inside the block
  // current).
  const auto current = reinterpret_cast<uintptr_t>(sampleBuffer.SampleBuffer);
  const auto begin = reinterpret_cast<uintptr_t>(words);
  if (current >= begin && current < begin + count * sizeof(uint32_t) + (count == 0)) sampleBuffer.StorageWords = 0;
  FreeLarge(words, count * sizeof(uint32_t));
  return true;
}

int64_t LibraryWordsFrom(const uint32_t* words) {
  Allocations& a = allocations();
  std::lock_guard<std::mutex> hold(a.lock);
  auto it = a.blocks.upper_bound(words);
  if (it == a.blocks.begin()) return -1;
  --it;
  // Compared as addresses: words may lie in no block at all.
  const uint64_t offset =
      (reinterpret_cast<uintptr_t>(words) - reinterpret_cast<uintptr_t>(it->first)) / sizeof(uint32_t);
  return offset < it->second ? static_cast<int64_t>(it->second - offset) : -1;
}

void SetBlockReleaseCheck(BlockReleaseCheck check) {
  Allocations& a = allocations();
  std::lock_guard<std::mutex> hold(a.lock);
  a.releaseCheck = check;
}

WordSpan EnsureSecondArray(uint32_t count) {
  SecondArrayState& s = secondArray();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.words.size() < count) {
    if (static_cast<uint64_t>(count) * 4 > AvailablePhysicalMemory()) return {};
    try {
      s.words.resize(count, 0);
    } catch (const std::bad_alloc&) {
      return {};
    }
  }
  return {s.words.data(), static_cast<uint32_t>(s.words.size())};
}

WordSpan ExistingSecondArray() {
  SecondArrayState& s = secondArray();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.words.empty()) return {};
  return {s.words.data(), static_cast<uint32_t>(s.words.size())};
}

uint64_t AvailablePhysicalMemory() { return platform::AvailablePhysicalMemory(); }

uint32_t AvailablePhysicalMemory32() {
  return static_cast<uint32_t>(std::min<uint64_t>(AvailablePhysicalMemory(), 0xFFFFFFFFu));
}

}  // namespace tqla

using namespace tqla;

namespace {

// The memory rule both buffer-size queries share: available bytes, at least
// 38,000,000, less 32,000,000, rounded down to 64 KiB below 2 GiB.
uint32_t UsableBufferBytes() {
  uint32_t available = AvailablePhysicalMemory32();
  Trace(".dwAvailPhys = %ld", static_cast<long>(available));
  if (available < 38000000u) available = 38000000u;
  return (available - 32000000u) & 0x7FFF0000u;
}

// Marker words: channel 7 high at the last word and every (L >> 3) + 1 words
// below it.
void WriteMarkers(uint32_t* words, uint32_t length) {
  const uint32_t step = (length >> 3) + 1;
  for (int64_t k = static_cast<int64_t>(length) - 1; k > 0; k -= step) words[k] = 128;
}

}  // namespace

extern "C" {

uint32_t* TQLA_API MakeBuffer(uint32_t size) {
  return Guarded<uint32_t*>("MakeBuffer", nullptr, [&]() -> uint32_t* {
    Trace("MakeBuffer() of size %ld", static_cast<long>(size));
    if (size & 0xFFFFu) {
      Fail("MakeBuffer: %u words is not a multiple of 65536", size);
      return nullptr;
    }
    uint32_t* words = AllocateSampleWords(size);
    if (!words) {
      TraceText("Buffer not allocated.");
      Fail("MakeBuffer: %u words (%llu bytes) do not fit in free memory", size,
           static_cast<unsigned long long>(size) * 4);
      return nullptr;
    }
    TraceText("Buffer allocated.");
    SetCurrentBuffer(words, size, size);
    sampleBuffer.CapturedLength.store(size, std::memory_order_relaxed);
    return words;
  });
}

int32_t TQLA_API DeleteBuffer(uint32_t* buffer) {
  return Guarded<int32_t>("DeleteBuffer", 0, [&] {
    if (!buffer) {
      FailText("DeleteBuffer: null");
      return 0;
    }
    if (FreeSampleWords(buffer)) return 1;
    if (!LastErrorText()[0]) FailText("DeleteBuffer: not a block this library made, or freed already");
    return 0;
  });
}

uint32_t TQLA_API GetMaxBufferSize(void) {
  return Guarded<uint32_t>("GetMaxBufferSize", 0, [] {
    const uint32_t result = UsableBufferBytes() / 4;
    Trace("GetMaxBufferSize() = %ld", static_cast<long>(result));
    return result;
  });
}

uint32_t TQLA_API GetMaxBufferSizeSG(void) {
  return Guarded<uint32_t>("GetMaxBufferSizeSG", 0, [] {
    const uint32_t result = UsableBufferBytes() / 2;
    Trace("GetMaxBufferSize() = %ld", static_cast<long>(result));
    return result;
  });
}

int32_t TQLA_API ChangeBufferLength(uint32_t length) {
  sampleBuffer.LoopLength.store(length, std::memory_order_relaxed);
  sampleBuffer.LoopPosition.store(0, std::memory_order_relaxed);
  return 1;
}

int32_t TQLA_API GetActualCaptureLength(void) {
  return static_cast<int32_t>(sampleBuffer.CapturedLength.load(std::memory_order_relaxed));
}

int32_t TQLA_API DemoData(void) {
  return Guarded<int32_t>("DemoData", 0, [] {
    const WordSpan s = CurrentSamples();
    const uint32_t length = s.length;
    for (uint32_t i = 0; i < length; ++i) s.words[i] = (length - i) & 127u;
    WriteMarkers(s.words, length);
    sampleBuffer.CapturedLength.store(length, std::memory_order_relaxed);
    return 1;
  });
}

int32_t TQLA_API DemoData16(void) {
  return Guarded<int32_t>("DemoData16", 0, [] {
    const WordSpan s = CurrentSamples();
    const uint32_t length = s.length;
    for (uint32_t v = length > 0 ? length - 1 : 0; v >= 1; --v) {
      const auto ch1 = static_cast<uint32_t>(static_cast<int32_t>(std::sin(v / 10.0) * 100 + 128)) & 0xFFu;
      const auto ch2 = static_cast<uint32_t>(static_cast<int32_t>(std::cos(v / 10.0) * 100 + 128)) & 0xFFu;
      s.words[length - 1 - v] = (v & 0xFFFFu) | (ch1 << kCh1Shift) | (ch2 << kCh2Shift);
    }
    WriteMarkers(s.words, length);
    sampleBuffer.CapturedLength.store(length, std::memory_order_relaxed);
    return 1;
  });
}

}  // extern "C"

extern "C" {

// The host's own array of length words as the current sample buffer, all of
// it captured; 0 for null with a length.
int32_t TQLA_API TqlaUseBuffer(uint32_t* words, uint32_t length) {
  return Guarded<int32_t>("TqlaUseBuffer", 0, [&] {
    if (!words && length) {
      FailText("TqlaUseBuffer: null with a length");
      return 0;
    }
    SetCurrentBuffer(words, length, length);
    sampleBuffer.CapturedLength.store(length);
    return 1;
  });
}

int32_t TQLA_API TqlaSetBufferLength(uint32_t length) {
  sampleBuffer.BufferLength = length;
  return 1;
}

uint32_t* TQLA_API TqlaCurrentBuffer(uint32_t* length) {
  if (length) *length = sampleBuffer.BufferLength;
  return sampleBuffer.SampleBuffer;
}

}  // extern "C"
