// Pulse counting: the capture images stream the pod's lines and a thread at
// normal priority counts the level changes of every channel, qualified by a
// mask and value, into sixteen counters the host reads while it runs.
#include <chrono>

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "frame/export.h"
#include "generator/generator_state.h"

namespace tqla::generator {

PulseCountState pulseCount;

namespace {

constexpr uint32_t kReadWaitMs = 500;

// One bit of a byte spread to one byte of a word: the counts of eight
// channels add up in the lanes of one 64-bit sum, 255 samples at a time.
struct Spread {
  uint64_t lanes[256];
  constexpr Spread() : lanes() {
    for (uint32_t b = 0; b < 256; ++b) {
      for (uint32_t k = 0; k < 8; ++k) {
        if (b & (1u << k)) lanes[b] |= uint64_t{1} << (8 * k);
      }
    }
  }
};
constexpr Spread kSpread;

void AddLanes(uint64_t low, uint64_t high) {
  PulseCountState& p = pulseCount;
  for (uint32_t k = 0; k < 8; ++k) {
    p.Counts[k].fetch_add(static_cast<uint32_t>((low >> (8 * k)) & 0xFF), std::memory_order_relaxed);
    p.Counts[k + 8].fetch_add(static_cast<uint32_t>((high >> (8 * k)) & 0xFF), std::memory_order_relaxed);
  }
}

void PulseCountThread(CCyUSBDevice* device) {
  CaptureState& c = captureState;
  TransferQueue& q = digitalQueue;
  CCyUSBEndPoint* ep = device ? device->FindEndpoint(0x86) : nullptr;
  if (!ep) {
    FailRun("Digital FX2 has no endpoint 0x86; pulse count ended");
    c.BothStopped.store(1);
    return;
  }
  ep->SetTransferSize(65536);
  TraceText("Beginning Transfer");
  pulseCount.FirstBlock = true;
  for (int i = 0; i < kQueueSlots; ++i) QueueSlot(ep, q, i);
  queuedThreads.fetch_add(1);
  FailureWatch watch(ep, "Digital");
  int last = kQueueSlots - 1;
  while (c.Running.load()) {
    for (int i = 0; i < kQueueSlots; ++i) {
      if (!ep->WaitTransfer(&q.Events[i], kReadWaitMs)) AbortAndWait(ep, q, i);
      int32_t length = 0;
      FinishSlot(ep, q, i, length);
      last = i;
      if (length > 0) {
        watch.Good();
        CountEdges(q.Buffers[i], static_cast<uint32_t>(length));
      } else if (c.Running.load()) {
        watch.Failed();
      }
      if (!c.Running.load()) break;
      QueueSlot(ep, q, i);
    }
  }
  DrainQueue(ep, q, last, 100);
  c.BothStopped.store(1);
}

}  // namespace
}  // namespace tqla::generator

using namespace tqla;
using namespace tqla::generator;

extern "C" {

// Counts the changes in length bytes of raw pod samples at the pulse width
// (an odd byte at width 16 is left over); returns 0.
int32_t TQLA_API CountEdges(uint8_t* bytes, uint32_t length) {
  return Guarded<int32_t>("CountEdges", 0, [&] {
    PulseCountState& p = pulseCount;
    const bool sixteen = p.PulseWidth != 8;
    const uint32_t step = sixteen ? 2 : 1;
    const uint32_t samples = bytes ? length / step : 0;
    if (samples == 0) return 0;
    const uint8_t* low = deviceState.LowByteMap;
    const uint8_t* high = deviceState.HighByteMap;
    auto sample = [&](uint32_t i) {
      return sixteen ? low[bytes[2 * i]] | static_cast<uint32_t>(high[bytes[2 * i + 1]]) << 8 : low[bytes[i]];
    };
    if (p.FirstBlock) {
      p.Previous = sample(0);
      p.FirstBlock = false;
    }
    const uint32_t mask = p.QualifierMask, value = p.QualifierValue;
    uint32_t previous = p.Previous;
    uint64_t sumLow = 0, sumHigh = 0;
    uint32_t inSum = 0;
    for (uint32_t i = 0; i < samples; ++i) {
      const uint32_t now = sample(i);
      // A change counts when the sample that completes it qualifies.
      const uint32_t changed = (now & mask) == value ? now ^ previous : 0;
      sumLow += kSpread.lanes[changed & 0xFF];
      sumHigh += kSpread.lanes[(changed >> 8) & 0xFF];
      previous = now;
      if (++inSum == 255) {
        AddLanes(sumLow, sumHigh);
        sumLow = sumHigh = 0;
        inSum = 0;
      }
    }
    AddLanes(sumLow, sumHigh);
    p.Previous = previous;
    return 0;
  });
}

// Width 8 counts channels 0-7 with the 8-channel image, any other width all
// sixteen. 0 for a rate code outside the table, no open pod, a failed
// download, a pod that never sends its ready byte (about 2 s), or a run that
// does not end.
int32_t TQLA_API StartPulseCount(uint8_t width, uint32_t rate, uint32_t qualifierMask, uint32_t qualifierValue) {
  return Guarded<int32_t>("StartPulseCount", 0, [&]() -> int32_t {
    CaptureState& c = captureState;
    uint8_t divisor = 1;
    if (!RateDivisor(rate, divisor)) {
      Fail("StartPulseCount: rate code %u refused (17, 27, 37, 47, 67, 87, 127, 167 or 247)", rate);
      return 0;
    }
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    if (!PodIsOpen("StartPulseCount") || !EndRun()) return 0;
    runDevices = RunDevices{digital, deviceState.USBDeviceAnalog, true, false};
    PulseCountState& p = pulseCount;
    p.PulseWidth = width == 8 ? 8 : 16;
    c.CaptureMode = width == 8 ? kDigital8 : kDigital16;
    const int32_t downloaded =
        LoadImage(digital, width == 8 ? firmware::Image::Logic8Image : firmware::Image::Logic16Image);
    c.StreamFirmware.store(0);
    if (digital->GetAltSetting() == 0) digital->SelectAltSetting(1);
    if (downloaded == 0) return 0;
    if (!WaitForReadyByte()) {
      c.Running.store(0);
      return 0;
    }
    for (auto& count : p.Counts) count.store(0);
    p.QualifierMask = qualifierMask;
    p.QualifierValue = qualifierValue;
    p.FirstBlock = true;
    c.BreakCount.store(0);
    c.StreamMode.store(0);
    c.Running.store(1);
    c.BothStopped.store(0);
    // GO once the thread's reads are queued: the pod's FIFO holds well under
    // a millisecond of samples, and those lost before would go uncounted.
    queuedThreads.store(0);
    StartRunThread(PulseCountThread, digital, false);
    WaitThreadsQueued(1);
    SendGo(divisor);
    return 1;
  });
}

int32_t TQLA_API GetPulseCount(int32_t* count0, int32_t* count1, int32_t* count2, int32_t* count3, int32_t* count4,
                               int32_t* count5, int32_t* count6, int32_t* count7, int32_t* count8, int32_t* count9,
                               int32_t* count10, int32_t* count11, int32_t* count12, int32_t* count13,
                               int32_t* count14, int32_t* count15) {
  int32_t* out[16] = {count0, count1, count2,  count3,  count4,  count5,  count6,  count7,
                      count8, count9, count10, count11, count12, count13, count14, count15};
  for (int b = 0; b < 16; ++b) {
    if (out[b]) *out[b] = static_cast<int32_t>(pulseCount.Counts[b].load(std::memory_order_relaxed));
  }
  return 0;
}

// 0 when the thread does not stop within 5 s.
int32_t TQLA_API StopPulseCount(void) {
  return Guarded<int32_t>("StopPulseCount", 0, [] {
    captureState.Running.store(0);
    return WaitBothStopped() ? 1 : 0;
  });
}

}  // extern "C"
