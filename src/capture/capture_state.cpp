#include "capture/capture_state.h"
#include "frame/sample_buffer.h"

#include "capture/trigger_engine.h"
#include "tqla/tqla_ext.h"

namespace tqla {

CaptureState captureState;
StreamRing streamRing;

void ResetCapture() {
  CaptureState& c = captureState;
  c.Running = 0;
  c.DigitalStopped = c.AnalogStopped = c.BothStopped = 1;
  c.Triggered = 0;
  c.PostStoreCount = c.PostStoreTotal = 0;
  c.SkipBlocks = c.TriggerStep = c.TriggerStepCount = 0;
  for (uint32_t k = 0; k < kMaxTriggerSteps; ++k) c.TriggerMask[k] = c.TriggerValue[k] = 0;
  c.AnalogTriggerMode = 0;
  c.AnalogTriggerChannel = 0;
  sampleBuffer.AnalogTriggerLevel = 0;
  c.AnalogTriggerState = 0;
  c.ProcessedPointer = c.DigitalWritePointer = c.AnalogWritePointer = nullptr;
  c.DigitalWritten = c.AnalogWritten = c.MetWritten = 0;
  c.BufferStart = c.BufferEnd = sampleBuffer.TriggerIndex = 0;
  c.BreakCount = 0;
  c.HostBreaks = 0;
  c.CaptureMode = 0;
  c.StreamMode = 0;
  c.StreamFirmware = 0;
  c.GlitchFilter = c.FirstAnalogBlock = 0;
  captureRing = Ring{};
  streamRing.StreamWriteSlot = streamRing.StreamReadSlot = 0;
  streamRing.StreamOverflow = 0;
}

uint32_t StreamFilledSlots(uint32_t writeSlot, uint32_t readSlot) {
  return writeSlot >= readSlot ? writeSlot - readSlot : kStreamSlots - readSlot + writeSlot;
}

uint32_t StreamFreeSlots(uint32_t writeSlot, uint32_t readSlot) {
  const uint32_t filled = StreamFilledSlots(writeSlot, readSlot);
  return filled >= kStreamSlots - 1 ? 0 : kStreamSlots - 1 - filled;
}

}  // namespace tqla

extern "C" {

uint32_t TQLA_API TqlaTriggerIndex(void) { return tqla::sampleBuffer.TriggerIndex.load(); }

void TQLA_API TqlaSetTriggerIndex(uint32_t index) { tqla::sampleBuffer.TriggerIndex.store(index); }

}  // extern "C"
