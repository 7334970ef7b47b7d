#include "capture/block_processors.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <chrono>
#include <mutex>
#include <thread>

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "capture/trigger_engine.h"
#include "device/device_state.h"

namespace tqla {
namespace {

// Maps a block through LowByteMap into the next free stream slot, or
// marks the overflow when the ring is full. The slot's data is written before
// the write index moves, so the consumer never sees a slot half filled.
void StreamInto(const uint8_t* block) {
  StreamRing& ring = streamRing;
  const uint32_t write = ring.StreamWriteSlot.load(std::memory_order_relaxed);
  const uint32_t read = ring.StreamReadSlot.load(std::memory_order_acquire);
  if (StreamFreeSlots(write, read) == 0) {
    ring.StreamOverflow.store(128, std::memory_order_relaxed);
    return;
  }
  const uint8_t* map = deviceState.LowByteMap;
  uint8_t* slot = ring.Slots[write];
  for (uint32_t i = 0; i < kBlockBytes; ++i) slot[i] = map[block[i]];
  ring.StreamWriteSlot.store(write + 1 == kStreamSlots ? 0 : write + 1, std::memory_order_release);
}

// The digital processor stores only the bytes of a sample word it owns, so
// that no word has to be read first and the scope bytes stay as they are.
// Offsets of those bytes in the word's storage:
constexpr bool kLittle = std::endian::native == std::endian::little;
constexpr uint32_t kLowByteAt = kLittle ? 0 : 3;  // bits 0-7
constexpr uint32_t kLowHalfAt = kLittle ? 0 : 2;  // bits 0-15

// Blocks are read eight bytes at a time; byte k of such a chunk in block order.
inline uint32_t ChunkByte(uint64_t chunk, uint32_t k) {
  return static_cast<uint32_t>(chunk >> (kLittle ? 8 * k : 56 - 8 * k)) & 0xFF;
}
inline uint64_t Chunk(const uint8_t* at) {
  uint64_t chunk;
  std::memcpy(&chunk, at, sizeof chunk);
  return chunk;
}
inline void StoreHalf(uint8_t* at, uint32_t half) {
  const auto h = static_cast<uint16_t>(half);
  std::memcpy(at, &h, sizeof h);
}

// False once the run is over. The processors look again once they hold
// BlockLock, so that no block lands in the ring after the engine ended the
// capture while they waited for the lock.
bool RunGoes(const CaptureState& c) { return c.Running.load(std::memory_order_acquire) != 0; }

// How long a side that got a batch ahead of the other waits for it. A pod
// that loses no data (drain pacing) only needs the other transfer thread to
// be scheduled; a real pod behind that long has lost data anyway.
constexpr auto kLeadWait = std::chrono::milliseconds(1000);

// Words of a block from each side, and the batch in which both sides meet:
// the larger of the two blocks of the sides in use.
uint32_t BlockWords(uint32_t mode, bool digital) {
  const uint32_t bits = mode & (digital ? kDigitalBits : kAnalogBits);
  if (bits == 0) return 0;
  return bits == (digital ? kDigital16 : kAnalog2) ? kBlockBytes / 2 : kBlockBytes;
}
uint32_t BatchWords(uint32_t mode) { return std::max(BlockWords(mode, true), BlockWords(mode, false)); }

// Takes BlockLock for a block of words from one side once the run goes and
// the side stays within one batch of where both last met (written counts its
// words so far, MetWritten those both sides have written). Further ahead it
// would write over the oldest samples of the ring, or, once a whole ring
// ahead, over words the trigger engine has not seen, at the very position the
// other side writes next. Until the other side catches up the lock is let go
// and taken again; when it does not within kLeadWait, the run fails. An
// unlocked result means the block is dropped.
std::unique_lock<std::mutex> LockForBlock(CaptureState& c, const uint64_t& written, uint32_t words) {
  std::unique_lock<std::mutex> hold(c.BlockLock);
  const auto deadline = std::chrono::steady_clock::now() + kLeadWait;
  for (;;) {
    if (!RunGoes(c)) return {};
    if (c.StreamMode.load(std::memory_order_relaxed) || written + words - c.MetWritten <= BatchWords(c.CaptureMode)) {
      return hold;
    }
    hold.unlock();
    if (std::chrono::steady_clock::now() >= deadline) {
      FailRun("One FX2 fell a batch behind the other and did not catch up; run ended");
      return {};
    }
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    hold.lock();
  }
}

// After a side wrote a block: where both sides have written the same words,
// the trigger engine takes everything since they last met.
void AfterBlock(CaptureState& c) {
  if (!(c.CaptureMode & kAnalogBits)) c.AnalogWritten = c.DigitalWritten;
  if (!(c.CaptureMode & kDigitalBits)) c.DigitalWritten = c.AnalogWritten;
  if (c.DigitalWritten != c.AnalogWritten) return;
  const uint64_t batch = c.DigitalWritten - c.MetWritten;
  c.MetWritten = c.DigitalWritten;
  RunTriggerEngine(static_cast<uint32_t>(batch));
}

// Moves a write pointer past words written at from, back to the ring's start
// at its end. The ring is a multiple of every block's word count, so a block
// never straddles the end; a pointer that could not take a whole block is
// put back to the start first.
uint32_t* FitBlock(uint32_t* from, uint32_t words) {
  const Ring& ring = captureRing;
  if (from < ring.words || from + words > ring.words + ring.length) return ring.words;
  return from;
}

}  // namespace

void SpikeFilter(uint8_t* series, uint32_t stride, uint32_t last) {
  for (uint32_t i = 0; i <= last; ++i) {
    const int a = series[i * stride];
    const int b = series[(i + 1) * stride];
    const int c = series[(i + 2) * stride];
    const int d = b - a;
    if ((d > 1 && d > c - a) || (d < -1 && d < c - a)) series[(i + 1) * stride] = static_cast<uint8_t>(c);
  }
}

void ProcessDigitalBlock(const uint8_t* block) {
  CaptureState& c = captureState;
  if (!RunGoes(c)) return;
  const uint32_t channels = c.CaptureMode & kDigitalBits;
  const std::unique_lock<std::mutex> hold =
      LockForBlock(c, c.DigitalWritten, BlockWords(c.CaptureMode, true));
  if (!hold.owns_lock()) return;
  if (c.StreamMode.load(std::memory_order_relaxed)) {
    StreamInto(block);
    return;
  }
  const uint8_t* low = deviceState.LowByteMap;
  const uint8_t* high = deviceState.HighByteMap;
  uint32_t* end = nullptr;
  if (channels == kDigital16) {
    uint32_t* w = FitBlock(c.DigitalWritePointer, kBlockBytes / 2);
    auto* words = reinterpret_cast<uint8_t*>(w);
    for (uint32_t i = 0; i < kBlockBytes; i += 8) {
      const uint64_t chunk = Chunk(block + i);
      for (uint32_t k = 0; k < 8; k += 2) {
        StoreHalf(words + 2 * (i + k) + kLowHalfAt,
                  low[ChunkByte(chunk, k)] | static_cast<uint32_t>(high[ChunkByte(chunk, k + 1)]) << 8);
      }
    }
    end = w + kBlockBytes / 2;
  } else if (channels == kDigital8) {
    uint32_t* w = FitBlock(c.DigitalWritePointer, kBlockBytes);
    auto* words = reinterpret_cast<uint8_t*>(w);
    for (uint32_t i = 0; i < kBlockBytes; i += 8) {
      const uint64_t chunk = Chunk(block + i);
      for (uint32_t k = 0; k < 8; ++k) words[4 * (i + k) + kLowByteAt] = low[ChunkByte(chunk, k)];
    }
    end = w + kBlockBytes;
  } else {
    return;
  }
  c.DigitalWritePointer = end == captureRing.words + captureRing.length ? captureRing.words : end;
  c.DigitalWritten += BlockWords(c.CaptureMode, true);
  AfterBlock(c);
}

void ProcessAnalogBlock(uint8_t* block) {
  CaptureState& c = captureState;
  if (!RunGoes(c)) return;
  const uint32_t channels = c.CaptureMode & kAnalogBits;
  const bool two = channels == kAnalog2;
  const std::unique_lock<std::mutex> hold = LockForBlock(c, c.AnalogWritten, BlockWords(c.CaptureMode, false));
  if (!hold.owns_lock()) return;
  if (c.StreamMode.load(std::memory_order_relaxed)) {
    StreamInto(block);
    return;
  }
  if (channels != kAnalog1 && channels != kAnalog2) return;
  if (c.FirstAnalogBlock) {
    // The converters' first samples of a run are not settled.
    if (two) {
      block[0] = block[2] = block[4] = block[6];
      block[1] = block[3] = block[5] = block[7];
    } else {
      block[0] = block[1] = block[2] = block[3];
    }
    c.FirstAnalogBlock = 0;
  }
  if (c.GlitchFilter) {
    if (two) {
      SpikeFilter(block, 2, kBlockBytes / 2 - 3);
      SpikeFilter(block + 1, 2, kBlockBytes / 2 - 3);
    } else {
      SpikeFilter(block, 1, kBlockBytes - 4);
    }
  }
  uint32_t* end = nullptr;
  if (two) {
    uint32_t* w = FitBlock(c.AnalogWritePointer, kBlockBytes / 2);
    for (uint32_t i = 0; i < kBlockBytes / 2; ++i) {
      w[i] = (w[i] & 0x0000FFFFu) | static_cast<uint32_t>(block[2 * i]) << 16 |
             static_cast<uint32_t>(block[2 * i + 1]) << 24;
    }
    end = w + kBlockBytes / 2;
  } else {
    uint32_t* w = FitBlock(c.AnalogWritePointer, kBlockBytes);
    for (uint32_t i = 0; i < kBlockBytes; ++i) w[i] = (w[i] & 0xFF00FFFFu) | static_cast<uint32_t>(block[i]) << 16;
    end = w + kBlockBytes;
  }
  c.AnalogWritePointer = end == captureRing.words + captureRing.length ? captureRing.words : end;
  c.AnalogWritten += BlockWords(c.CaptureMode, false);
  AfterBlock(c);
}

void ProcessStreamBlock(const uint8_t* block) {
  CaptureState& c = captureState;
  if (!RunGoes(c)) return;
  std::lock_guard<std::mutex> hold(c.BlockLock);
  if (c.StreamMode.load(std::memory_order_relaxed)) StreamInto(block);
}

}  // namespace tqla
