// Streaming capture: the Digital FX2's blocks, mapped to channel order, go to
// a ring of 200 blocks that the host drains.
#include <cstring>
#include <optional>
#include <thread>

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"

namespace tqla {
namespace {

struct ClockModeImage {
  firmware::Image image;
  bool takesStop;
};

// The image of a clock mode; nothing for the modes that load none.
std::optional<ClockModeImage> ImageOfClockMode(uint32_t clockMode, bool sixteen) {
  using firmware::Image;
  switch (clockMode) {
    case 1: return ClockModeImage{Image::StreamImage1, true};
    case 2: return ClockModeImage{sixteen ? Image::Logic16Image : Image::Logic8Image, false};
    case 4: return ClockModeImage{Image::StreamImage4, true};
    case 5: return ClockModeImage{Image::StreamImage5, true};
    case 6: return ClockModeImage{Image::StreamImage6, true};
    case 7: return ClockModeImage{Image::StreamImage7, true};
    case 8: return ClockModeImage{Image::StreamImage8, true};
    case 9: return ClockModeImage{Image::StreamImage9, true};
    default: return std::nullopt;
  }
}

// Both starts; the differences are the trace, the step layout and whether
// the buffer becomes the current sample buffer.
template <class StoreSteps>
int32_t StartStream(bool sixteen, uint32_t rate, uint32_t clockMode, int32_t stepCount, StoreSteps&& storeSteps,
                    uint32_t* words, uint32_t length, uint32_t post) {
  CaptureState& c = captureState;
  StreamRing& ring = streamRing;
  CCyUSBDevice* digital = deviceState.USBDeviceDigital;
  if (!sixteen) {
    TraceText("StartStreamingCapture");
    Trace("  ClockMode %d", static_cast<int>(clockMode));
  }
  const std::optional<ClockModeImage> image = ImageOfClockMode(clockMode, sixteen);
  if (!image) {
    Fail("Clock mode %u loads no image; stream refused (modes 1, 2 and 4 to 9 have one)", clockMode);
    return 0;
  }
  if (!PodIsOpen(sixteen ? "StartStreamingCapture16" : "StartStreamingCapture") || !EndRun()) return 0;
  runDevices = RunDevices{digital, deviceState.USBDeviceAnalog, true, false};

  c.StreamMode.store(1);
  ring.StreamOverflow.store(0);
  ring.StreamWriteSlot.store(0);
  ring.StreamReadSlot.store(0);
  const int32_t downloaded = LoadImage(digital, image->image);
  c.StreamFirmware.store(image->takesStop ? 1 : 0);
  sampleBuffer.CapturedLength.store(0);
  c.TriggerStep = 0;
  c.TriggerStepCount = static_cast<uint32_t>(stepCount);
  storeSteps();
  if (!downloaded) return 0;
  if (!sixteen) TraceText("  Download Successful");
  if (!WaitForReadyByte()) {
    c.Running.store(0);
    return 0;
  }
  if (!sixteen) TraceText("  Firmware Started");

  c.Triggered.store(0);
  sampleBuffer.TriggerIndex.store(0);
  c.BufferStart.store(0);
  c.BufferEnd.store(0);
  c.PostStoreCount.store(post & 0xFFFF0000u);
  c.PostStoreTotal.store(post & 0xFFFF0000u);
  c.BreakCount.store(0);
  c.HostBreaks.store(0);
  if (sixteen) {
    SetCurrentBuffer(words, length, words ? length : 0);
  } else {
    sampleBuffer.BufferLength = length;
  }

  c.Running.store(1);
  c.BothStopped.store(0);
  c.DigitalStopped.store(0);
  c.AnalogStopped.store(1);
  queuedThreads.store(0);
  StartTransferThread(clockMode == 2 ? TransferThread::Digital : TransferThread::Stream, digital);
  WaitThreadsQueued(1);
  uint8_t divisor = 1;
  RateDivisor(rate, divisor);
  SendGo(divisor);
  return 1;
}

}  // namespace
}  // namespace tqla

using namespace tqla;

extern "C" {

// Clock modes that load no image (3 and any value outside 1-9) are refused
// with 0, as is a start without an open pod or whose firmware never sends
// its ready byte (about 2 s). At most 8 step pairs are kept; streams never
// evaluate them.
int32_t TQLA_API StartStreamingCapture(uint32_t rate, uint32_t clockMode, uint8_t* steps, int32_t stepCount,
                                       uint8_t* buffer, uint32_t length, uint32_t post) {
  (void)buffer;  // kept by the pod software in a pointer nothing reads
  return Guarded<int32_t>("StartStreamingCapture", 0, [&] {
    return StartStream(
        false, rate, clockMode, stepCount,
        [&] {
          const int32_t kept = steps ? std::min<int32_t>(stepCount, kMaxTriggerSteps) : 0;
          for (int32_t k = 0; k < kept; ++k) {
            captureState.StreamStepMask[k] = steps[2 * k];
            captureState.StreamStepValue[k] = steps[2 * k + 1];
          }
        },
        nullptr, length, post);
  });
}

int32_t TQLA_API StartStreamingCapture16(uint32_t rate, uint32_t clockMode, uint32_t* steps, int32_t stepCount,
                                         uint32_t* buffer, uint32_t length, uint32_t post) {
  return Guarded<int32_t>("StartStreamingCapture16", 0, [&] {
    return StartStream(
        true, rate, clockMode, stepCount,
        [&] {
          const int32_t kept = steps ? std::min<int32_t>(stepCount, kMaxTriggerSteps) : 0;
          for (int32_t k = 0; k < kept; ++k) {
            captureState.TriggerMask[k] = steps[2 * k];
            captureState.TriggerValue[k] = steps[2 * k + 1];
          }
        },
        buffer, length, post);
  });
}

// A null destination takes nothing and returns 0.
uint8_t TQLA_API GetNextStreamBuffer(uint8_t* destination) {
  return Guarded<uint8_t>("GetNextStreamBuffer", 0, [&]() -> uint8_t {
    StreamRing& ring = streamRing;
    const uint32_t read = ring.StreamReadSlot.load(std::memory_order_relaxed);
    const uint32_t write = ring.StreamWriteSlot.load(std::memory_order_acquire);
    if (!destination || StreamFilledSlots(write, read) == 0) return 0;
    std::memcpy(destination, ring.Slots[read], kStreamSlotBytes);
    ring.StreamReadSlot.store(read + 1 == kStreamSlots ? 0 : read + 1, std::memory_order_release);
    return 1;
  });
}

uint32_t TQLA_API StreamBufferCount(void) {
  return StreamFilledSlots(streamRing.StreamWriteSlot.load(), streamRing.StreamReadSlot.load());
}

uint32_t TQLA_API StreamBuffersLeft(void) {
  return StreamFreeSlots(streamRing.StreamWriteSlot.load(), streamRing.StreamReadSlot.load());
}

char TQLA_API StreamBufferOverflow(void) {
  return streamRing.StreamOverflow.exchange(0) != 0 ? 1 : 0;
}

// 0 when the stream's thread does not stop within about 5 s.
int32_t TQLA_API StopStream(void) {
  return Guarded<int32_t>("StopStream", 0, [] {
    CaptureState& c = captureState;
    c.Running.store(0);
    if (c.StreamFirmware.load() == 1) {
      SendStop();
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return WaitBothStopped() ? 1 : 0;
  });
}

}  // extern "C"
