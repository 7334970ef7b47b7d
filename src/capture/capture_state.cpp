#include "capture/capture_state.h"

namespace tqla {

CaptureState captureState;
StreamRing streamRing;

uint32_t StreamFilledSlots(uint32_t writeSlot, uint32_t readSlot) {
  return writeSlot >= readSlot ? writeSlot - readSlot : kStreamSlots - readSlot + writeSlot;
}

uint32_t StreamFreeSlots(uint32_t writeSlot, uint32_t readSlot) {
  const uint32_t filled = StreamFilledSlots(writeSlot, readSlot);
  return filled >= kStreamSlots - 1 ? 0 : kStreamSlots - 1 - filled;
}

}  // namespace tqla
