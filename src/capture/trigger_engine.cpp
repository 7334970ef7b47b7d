#include "capture/trigger_engine.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "capture/capture_state.h"
#include "frame/sample_buffer.h"
#include "frame/trace.h"

namespace tqla {

Ring captureRing;

namespace {

constexpr uint32_t kRotateBlock = 32768;
// The one spare block the rotation moves the ring through.
uint32_t rotateSpare[kRotateBlock];

// True when stop(word) holds for any of the kRun words from p. The loop has
// no branch and is long enough not to be unrolled away, so the compiler turns
// it into vector compares.
constexpr uint32_t kRun = 64;
template <class Stop>
inline bool AnyStops(const uint32_t* p, Stop stop) {
  uint32_t hits = 0;
  for (uint32_t k = 0; k < kRun; ++k) hits |= stop(p[k]);
  return hits != 0;
}

// The first index from i on where stop(word) holds, or n. Whole runs are
// tested first, so that the common case, a run where nothing happens, goes at
// the speed of the memory.
template <class Stop>
inline uint32_t Skip(const uint32_t* p, uint32_t i, uint32_t n, Stop stop) {
  while (i + kRun <= n && !AnyStops(p + i, stop)) i += kRun;
  while (i < n && !stop(p[i])) ++i;
  return i;
}

// A level bound for a channel byte (0-255) kept in 32 bits, where the vector
// compares work: past -1 or 256 the comparison's result no longer changes.
int32_t ByteBound(int64_t bound) { return static_cast<int32_t>(std::clamp<int64_t>(bound, -1, 256)); }

// Digital steps over the n words from p, resuming at TriggerStep. Returns the
// trigger word or null when the batch runs out first.
uint32_t* SearchSteps(CaptureState& c, uint32_t* p, uint32_t n) {
  const uint32_t count = c.TriggerStepCount;
  uint32_t step = c.TriggerStep;
  uint32_t i = 0;
  for (;;) {
    if (step == count) {
      c.TriggerStep = step;
      uint32_t* at = p + i;
      return at == captureRing.words ? at : at - 1;
    }
    if (i == n) break;
    const uint32_t mask = c.TriggerMask[step];
    const uint32_t value = c.TriggerValue[step];
    if (step == 0) {
      i = Skip(p, i, n, [=](uint32_t w) { return (w & mask) == value; });
      if (i == n) break;
      ++step;
      ++i;
      continue;
    }
    // Seeking step k > 0: a word that meets it advances; one that no longer
    // meets step k-1 ends the sequence and is not tried against step 0.
    const uint32_t previousMask = c.TriggerMask[step - 1];
    const uint32_t previousValue = c.TriggerValue[step - 1];
    i = Skip(p, i, n, [=](uint32_t w) { return (w & mask) == value || (w & previousMask) != previousValue; });
    if (i == n) break;
    step = (p[i] & mask) == value ? step + 1 : 0;
    ++i;
  }
  c.TriggerStep = step;
  return nullptr;
}

// Analog edges with hysteresis on one channel byte. A level below 2 cannot
// arm a rising edge and one above 253 cannot arm a falling edge, so such a
// trigger never fires.
uint32_t* SearchEdge(CaptureState& c, uint32_t* p, uint32_t n) {
  const int shift = c.AnalogTriggerChannel == 1 ? kCh1Shift : kCh2Shift;
  const int64_t level = sampleBuffer.AnalogTriggerLevel.load(std::memory_order_relaxed);
  auto state = static_cast<int64_t>(static_cast<int32_t>(c.AnalogTriggerState));
  uint32_t i = 0;
  uint32_t* found = nullptr;
  auto byteOf = [=](uint32_t w) { return static_cast<int32_t>((w >> shift) & 0xFF); };
  if (c.AnalogTriggerMode == 1) {
    const int32_t arm = ByteBound(level - 2);
    const int32_t fire = ByteBound(level);
    while (i < n) {
      if (state > level) {
        i = Skip(p, i, n, [=](uint32_t w) { return byteOf(w) < arm; });
        if (i == n) break;
        state = level - 1;
        ++i;
        continue;
      }
      i = Skip(p, i, n, [=](uint32_t w) { return byteOf(w) > fire; });
      if (i < n) found = p + i;
      break;
    }
  } else {
    const int32_t arm = ByteBound(level + 2);
    const int32_t fire = ByteBound(level);
    while (i < n) {
      if (state < level) {
        i = Skip(p, i, n, [=](uint32_t w) { return byteOf(w) > arm; });
        if (i == n) break;
        state = level + 1;
        ++i;
        continue;
      }
      i = Skip(p, i, n, [=](uint32_t w) { return byteOf(w) < fire; });
      if (i < n) found = p + i;
      break;
    }
  }
  c.AnalogTriggerState = static_cast<uint32_t>(state);
  return found;
}

}  // namespace

uint32_t RoomLeft(uint32_t bufferStart, uint32_t bufferEnd, uint32_t bufferLength) {
  return bufferStart > bufferEnd ? bufferStart - bufferEnd : bufferLength - bufferEnd + bufferStart;
}

void TriggerEngineBatch(uint32_t* p, uint32_t n) {
  CaptureState& c = captureState;
  if (c.TriggerStepCount == kTriggerOff) return;
  const uint32_t length = captureRing.length;
  const uint32_t captured = sampleBuffer.CapturedLength.load(std::memory_order_relaxed);
  sampleBuffer.CapturedLength.store(static_cast<uint32_t>(std::min<uint64_t>(uint64_t{captured} + n, length)),
                                    std::memory_order_relaxed);

  if (c.SkipBlocks > 0) {
    --c.SkipBlocks;
  } else if (c.Triggered.load(std::memory_order_relaxed)) {
    uint32_t count = c.PostStoreCount.load(std::memory_order_relaxed);
    if (count >= n) count -= n;
    c.PostStoreCount.store(count, std::memory_order_relaxed);
    if (count < n) {
      ReadBreakCounters();
      c.Running.store(0, std::memory_order_release);
      return;
    }
  } else {
    uint32_t* trigger = nullptr;
    if (c.AnalogTriggerMode == 0) {
      trigger = p;
    } else if (c.TriggerStepCount > 0) {
      trigger = SearchSteps(c, p, n);
    } else if (c.AnalogTriggerMode == 3) {
      trigger = p == captureRing.words ? p : p - 1;
    } else {
      trigger = SearchEdge(c, p, n);
    }
    if (trigger) {
      sampleBuffer.TriggerIndex.store(static_cast<uint32_t>(trigger - captureRing.words), std::memory_order_relaxed);
      const uint32_t room = RoomLeft(c.BufferStart.load(std::memory_order_relaxed),
                                     c.BufferEnd.load(std::memory_order_relaxed), length);
      const uint32_t count = c.PostStoreCount.load(std::memory_order_relaxed);
      if (count < room) {
        Trace("Readjust Poststore\nOldPost..Count=%d Roomleft:%d origlength:%d", static_cast<int>(count),
              static_cast<int>(room), static_cast<int>(n));
        // A batch larger than the room (never one of a single block) stores nothing more.
        const uint32_t stretched = room > n ? room - n : 0;
        c.PostStoreCount.store(stretched, std::memory_order_relaxed);
        c.PostStoreTotal.store(stretched, std::memory_order_relaxed);
        Trace("NewPost..Count=%d", static_cast<int>(stretched));
      }
      c.Triggered.store(1, std::memory_order_release);
    }
  }

  // Bookkeeping. The newest sample ends where the batch ends; once the batch
  // has reached the oldest one, the oldest moves on to one batch past the
  // newest, the room the writers are already filling. With batches of one
  // block this is moving BufferStart on by n when BufferEnd meets it; it stays
  // right for a batch of several blocks, when the sides drift by more than one.
  const uint32_t oldEnd = c.BufferEnd.load(std::memory_order_relaxed);
  const uint32_t start = c.BufferStart.load(std::memory_order_relaxed);
  const uint32_t newEnd = static_cast<uint32_t>((uint64_t{oldEnd} + n) % length);
  uint32_t toStart = static_cast<uint32_t>((uint64_t{start} + length - oldEnd) % length);
  if (toStart == 0) toStart = length;
  c.BufferEnd.store(newEnd, std::memory_order_relaxed);
  if (n >= toStart) c.BufferStart.store(static_cast<uint32_t>((uint64_t{newEnd} + n) % length), std::memory_order_relaxed);
  c.ProcessedPointer = captureRing.words + newEnd;
}

void RunTriggerEngine(uint32_t n) {
  CaptureState& c = captureState;
  if (c.TriggerStepCount == kTriggerOff || n == 0) return;
  uint32_t* p = c.ProcessedPointer;
  const uint32_t toRingEnd = static_cast<uint32_t>(captureRing.words + captureRing.length - p);
  if (n <= toRingEnd) {
    TriggerEngineBatch(p, n);
    return;
  }
  // The batch wraps round the ring end: its two parts in order.
  TriggerEngineBatch(p, toRingEnd);
  if (c.Running.load(std::memory_order_relaxed)) TriggerEngineBatch(captureRing.words, n - toRingEnd);
}

void RotateBuffer() {
  CaptureState& c = captureState;
  const uint32_t start = c.BufferStart.load();
  Trace("RotateBuffer() BufferStart = %d", static_cast<int>(start));
  const Ring ring = captureRing;
  if (start == 0 || !ring.words || ring.length < kRotateBlock || start >= ring.length) return;
  const uint32_t blocks = ring.length / kRotateBlock;
  const uint32_t k = start / kRotateBlock;
  const size_t blockBytes = sizeof(uint32_t) * kRotateBlock;
  auto block = [&](uint32_t index) { return ring.words + static_cast<size_t>(index) * kRotateBlock; };
  // Block j receives block j + k; each cycle of that permutation goes through the spare once.
  const uint32_t cycles = std::gcd(blocks, k);
  for (uint32_t first = 0; first < cycles; ++first) {
    std::memcpy(rotateSpare, block(first), blockBytes);
    uint32_t j = first;
    for (;;) {
      const uint32_t next = (j + k) % blocks;
      if (next == first) break;
      std::memcpy(block(j), block(next), blockBytes);
      j = next;
    }
    std::memcpy(block(j), rotateSpare, blockBytes);
  }
  const uint32_t trigger = sampleBuffer.TriggerIndex.load();
  const uint32_t shift = k * kRotateBlock;
  sampleBuffer.TriggerIndex.store(trigger < shift ? trigger + (blocks - k) * kRotateBlock : trigger - shift);
  c.BufferStart.store(0);
  c.BufferEnd.store(blocks * kRotateBlock);
}

}  // namespace tqla
