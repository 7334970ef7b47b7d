// State of the pattern generator's runs and of pulse counting. Both use the
// capture engine's run flags (Running, BothStopped, Triggered, PostStoreCount,
// PostStoreTotal) and the Digital FX2's transfer queue, so no two runs go at
// once; what is theirs alone lives here.
#pragma once

#include <atomic>
#include <cstdint>

#include "generator/pattern_bytes.h"

namespace tqla::generator {

enum class Feed : uint8_t {
  Pattern,    // each block converted from the pattern as its slot comes round
  QueueOnly,  // the 32 slots sent again and again as they stand
};

struct GenerationState {
  Layout layout = Layout::Plain;
  Feed feed = Feed::Pattern;
  // Output bits per sample, 8 or 16; StartVariableLoopGenerate leaves it.
  uint32_t OutputWidth = 16;
  uint8_t Loop = 0;
  const uint32_t* pattern = nullptr;
  uint32_t patternWords = 0;
  // Next pattern word to convert; written by the output thread only.
  uint32_t ReadPosition = 0;
  uint32_t IdleWord = 0;
  // A whole block of the idle word as pod bytes.
  uint8_t idleBlock[65536] = {};
  PinTables tables;
};

extern GenerationState generation;

// The 32-byte waveform descriptor of a rate code and mode (the generate
// command sends it after 0x01); false for a rate code outside the table or a
// mode whose low seven bits pass 4.
bool WaveformDescriptor(uint32_t rate, uint8_t mode, uint8_t* descriptor);

struct PulseCountState {
  std::atomic<uint32_t> Counts[16] = {};
  uint32_t QualifierMask = 0;
  uint32_t QualifierValue = 0;
  uint32_t PulseWidth = 16;
  // Channel-order sample before the next one counted.
  uint32_t Previous = 0;
  bool FirstBlock = true;
};

extern PulseCountState pulseCount;

}  // namespace tqla::generator
