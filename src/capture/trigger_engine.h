// The trigger engine and the ring bookkeeping of a buffered capture: each
// batch of words both FX2 have filled is counted, searched for the trigger,
// counted down after it, and the oldest and newest positions in the ring are
// kept; RotateBuffer turns the stopped ring into a plain array.
#pragma once

#include <cstdint>

namespace tqla {

// The ring a capture writes: fixed at the start so that a host naming another
// current buffer during the run cannot move the writes.
struct Ring {
  uint32_t* words = nullptr;
  uint32_t length = 0;  // a multiple of 65536
};

extern Ring captureRing;

// Words still writable before the oldest valid sample is overwritten.
uint32_t RoomLeft(uint32_t bufferStart, uint32_t bufferEnd, uint32_t bufferLength);

// Runs the engine over the n words both sides have written since
// ProcessedPointer (at most the whole ring). Called by the block processors
// while they hold BlockLock.
void RunTriggerEngine(uint32_t n);

// One batch of n words starting at p, inside the ring.
void TriggerEngineBatch(uint32_t* p, uint32_t n);

// Rotates the ring left by BufferStart in place, so that the oldest sample is
// word 0, and moves TriggerIndex with it. Only once every thread has stopped.
void RotateBuffer();

// Reads the break counters of the FX2 in use, traces them and sets
// BreakCount; the trigger engine calls it when it completes a capture.
void ReadBreakCounters();

}  // namespace tqla
