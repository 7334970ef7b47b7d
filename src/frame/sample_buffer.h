// The sample buffer: the one array of sample words that captures, files,
// screen traces and decoders work on, plus its companion second array.
#pragma once

#include <atomic>
#include <cstdint>

namespace tqla {

// Bits of a sample word.
constexpr uint32_t kDigitalMask = 0x0000FFFFu;
constexpr int kCh1Shift = 16;
constexpr int kCh2Shift = 24;
constexpr double kVoltsPerStep = 0.078125;

struct SampleBufferState {
  // The current buffer as hosts see it.
  uint32_t* SampleBuffer = nullptr;
  uint32_t BufferLength = 0;
  // Grown by the trigger engine on a transfer thread while the host polls.
  std::atomic<uint32_t> CapturedLength{0};
  // Words really behind SampleBuffer. BufferLength can be set past the
  // allocation (file readers take lengths from files and hosts), so every walk
  // over the buffer is bounded by this as well.
  uint32_t StorageWords = 0;
  // The trigger of the samples: the index of the trigger sample (a capture
  // sets it, and rotates it with the ring; the oldest sample is word 0 once
  // rotated), from which decoders' absolute timestamps count, and the analog
  // trigger level (0-255) a capture was started with, which the scope screen
  // scaling draws. Written by the trigger engine on a transfer thread.
  std::atomic<uint32_t> TriggerIndex{0};
  std::atomic<uint32_t> AnalogTriggerLevel{0};
  // Variable-loop generator; read by its output thread.
  std::atomic<uint32_t> LoopLength{0};
  std::atomic<uint32_t> LoopPosition{0};
};

extern SampleBufferState sampleBuffer;

// A run of words that exist in memory.
struct WordSpan {
  uint32_t* words = nullptr;
  uint32_t length = 0;
  bool empty() const { return length == 0; }
};

// The current buffer's words: BufferLength bounded by the storage.
WordSpan CurrentSamples();

// How many of count words starting at samples can be read: count itself for a
// host's own array, bounded by the storage when samples is the sample buffer.
uint32_t ReadableWords(const uint32_t* samples, uint32_t count);

// Makes words (of which storageWords exist) the current buffer.
void SetCurrentBuffer(uint32_t* words, uint32_t length, uint32_t storageWords);

// Allocates count sample words filled with 0xCCCCCCCC and remembers the block
// for FreeSampleWords; null when the machine cannot hold it.
uint32_t* AllocateSampleWords(uint32_t count);

// Frees a block of AllocateSampleWords; false for any other pointer, and
// when the release check refuses.
bool FreeSampleWords(uint32_t* words);

// Words from words to the end of the block of AllocateSampleWords that holds
// it; -1 for memory the library did not allocate (a host's own array).
int64_t LibraryWordsFrom(const uint32_t* words);

// Asked before a block is freed, with its bounds: a run still writing into it
// must end first. False refuses the free. Set once by the capture engine.
using BlockReleaseCheck = bool (*)(const uint32_t* begin, const uint32_t* end);
void SetBlockReleaseCheck(BlockReleaseCheck check);

// The second sample array: library-owned, zero-filled where never written,
// grown on demand. Ensure returns at least count words, or an empty span when
// memory runs out; Existing never allocates.
WordSpan EnsureSecondArray(uint32_t count);
WordSpan ExistingSecondArray();

// Free physical memory in bytes, and the same capped to 32 bits as the
// buffer-size rule reads it.
uint64_t AvailablePhysicalMemory();
uint32_t AvailablePhysicalMemory32();

}  // namespace tqla
