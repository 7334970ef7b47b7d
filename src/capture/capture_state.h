// State of the capture engine: the run flags every run shares, the trigger
// set-up, the ring positions of a buffered capture and the stream ring. The
// transfer threads write what the host polls, so everything shared between
// them and the host is atomic; the block processors exclude each other with
// BlockLock, and what they alone touch stays plain.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tqla {

constexpr uint32_t kMaxTriggerSteps = 8;
// A step count of -1 switches the trigger engine off.
constexpr uint32_t kTriggerOff = 0xFFFFFFFFu;

// Channel configuration bits of StartCapture's mode.
constexpr uint32_t kDigitalBits = 0x3;
constexpr uint32_t kDigital16 = 0x3;
constexpr uint32_t kDigital8 = 0x1;
constexpr uint32_t kAnalogBits = 0xC;
constexpr uint32_t kAnalog2 = 0xC;
constexpr uint32_t kAnalog1 = 0x4;

struct CaptureState {
  // Run flags of captures, streams, generation runs and pulse counting. No
  // run goes when the library loads.
  std::atomic<uint8_t> Running{0};
  std::atomic<uint8_t> DigitalStopped{1};
  std::atomic<uint8_t> AnalogStopped{1};
  std::atomic<uint8_t> BothStopped{1};
  std::atomic<uint8_t> Triggered{0};
  std::atomic<uint32_t> PostStoreCount{0};
  std::atomic<uint32_t> PostStoreTotal{0};

  // Trigger set-up, written by a start before its threads exist and then
  // read and advanced by the trigger engine under BlockLock.
  uint32_t SkipBlocks = 0;
  uint32_t TriggerStep = 0;
  uint32_t TriggerStepCount = 0;
  uint32_t TriggerMask[kMaxTriggerSteps] = {};
  uint32_t TriggerValue[kMaxTriggerSteps] = {};
  // The 8-bit streaming start keeps its byte pairs apart; nothing reads them.
  uint8_t StreamStepMask[kMaxTriggerSteps] = {};
  uint8_t StreamStepValue[kMaxTriggerSteps] = {};
  uint8_t AnalogTriggerMode = 0;
  uint32_t AnalogTriggerChannel = 0;
  // The level (0-255) is the sample buffer's AnalogTriggerLevel, which the
  // scope screen scaling reads too.
  uint32_t AnalogTriggerState = 0;

  // Ring positions. The pointers are the block processors' own; the indexes
  // are polled by the host.
  uint32_t* ProcessedPointer = nullptr;
  uint32_t* DigitalWritePointer = nullptr;
  uint32_t* AnalogWritePointer = nullptr;
  // Words each side has written this run, and the count at which both last
  // met (the words the trigger engine has seen). The sides are compared by
  // these, not by their positions, which are equal again when one side has
  // come a whole ring round the other; neither gets more than a batch ahead
  // of the last meeting. Under BlockLock.
  uint64_t DigitalWritten = 0;
  uint64_t AnalogWritten = 0;
  uint64_t MetWritten = 0;
  std::atomic<uint32_t> BufferStart{0};
  std::atomic<uint32_t> BufferEnd{0};
  // The trigger sample's index is the sample buffer's TriggerIndex.

  // Sum of the break counters last read from the FX2s in use; -1 once the run
  // failed on the host's side (an FX2 stopped answering, a transfer came back
  // short, one side fell a whole ring behind the other).
  std::atomic<int32_t> BreakCount{0};
  // Breaks the host saw itself: blocks that came back part filled and were
  // dropped. Added to the FX2 counters wherever BreakCount is made.
  std::atomic<uint32_t> HostBreaks{0};
  uint32_t CaptureMode = 0;
  std::atomic<uint8_t> StreamMode{0};
  // 1 when the loaded digital image takes the stop command.
  std::atomic<uint32_t> StreamFirmware{0};
  uint8_t GlitchFilter = 0;
  uint8_t FirstAnalogBlock = 0;
  std::mutex BlockLock;
};

extern CaptureState captureState;

// The stream ring: 200 blocks of 64 KiB, one producer (the transfer thread)
// and one consumer (the host) without a lock.
constexpr uint32_t kStreamSlots = 200;
constexpr uint32_t kStreamSlotBytes = 65536;

struct StreamRing {
  alignas(64) uint8_t Slots[kStreamSlots][kStreamSlotBytes];
  // Written by the producer only, after the slot's data.
  std::atomic<uint32_t> StreamWriteSlot{0};
  // Written by the consumer only, after it has copied the slot out.
  std::atomic<uint32_t> StreamReadSlot{0};
  std::atomic<uint8_t> StreamOverflow{0};
};

extern StreamRing streamRing;

// Puts the capture engine's state (run flags, trigger set-up, ring, stream
// ring) back as the library loads it. No run may go.
void ResetCapture();

// Filled and free slots as both sides count them; one slot always stays empty.
uint32_t StreamFilledSlots(uint32_t writeSlot, uint32_t readSlot);
uint32_t StreamFreeSlots(uint32_t writeSlot, uint32_t readSlot);

}  // namespace tqla
