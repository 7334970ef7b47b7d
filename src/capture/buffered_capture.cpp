// Buffered capture: loading the capture images, starting the transfer
// threads, the status the host polls, and the stops with their rotation and
// calibration.
#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "capture/trigger_engine.h"
#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"

namespace tqla {
namespace {

constexpr uint32_t kFlushBytes = 2048;
constexpr uint32_t kFlushTimeoutMs = 5;
constexpr uint32_t kCalibrationAddress = 96;
constexpr uint32_t kBlockWords = 65536;

// Reads and discards what an FX2 still holds from an earlier run.
void Flush(CCyUSBDevice* device) {
  CCyUSBEndPoint* ep = device ? device->FindEndpoint(0x86) : nullptr;
  if (!ep) return;
  static uint8_t scratch[kFlushBytes];
  const uint32_t timeout = ep->Timeout;
  ep->Timeout = kFlushTimeoutMs;
  int32_t length = kFlushBytes;
  ep->Transfer(scratch, length);
  ep->Timeout = timeout;
}

// The calibration step of the stops: the four EEPROM constants, 24 fraction
// bits each, go to CalibrateScope with 20. Without them (no pod, a failed
// read) the analog bytes stay as captured.
void CalibrateFromEeprom() {
  uint8_t bytes[16] = {};
  deviceState.LastTransferResult.store(0);
  ReadEEPROM(kCalibrationAddress, sizeof bytes, bytes);
  if (deviceState.LastTransferResult.load() != 1) {
    TraceText("Calibration constants not read; analog data left uncalibrated");
    return;
  }
  auto word = [&](uint32_t address) {
    const uint8_t* b = bytes + (address - kCalibrationAddress);
    return (b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24) >> 4;
  };
  while (CalibrateScope(word(104), word(96), word(108), word(100)) == -1) {
  }
}

// Waits for the threads and rotates the ring; false when they never stopped,
// and the ring is then left alone.
bool StopAndRotate() {
  captureState.Running.store(0);
  if (!WaitBothStopped()) return false;
  RotateBuffer();
  return true;
}

}  // namespace
}  // namespace tqla

using namespace tqla;

extern "C" {

// Refused with 0 before anything is loaded: mode bits 0-1 = 2 or 2-3 = 8,
// a mode with no channel at all, stepCount below -1 or above 8, steps null
// with steps to copy, a null buffer or a length that is not a nonzero
// multiple of 65536, a length past the end of a buffer the library made, no
// open pod, or the threads of an earlier run that do not end. A pod that never sends its ready byte fails the start with 0
// after about 2 s.
int32_t TQLA_API StartCapture(uint32_t mode, uint32_t trigger, uint32_t channel, uint32_t level, uint32_t rate,
                              uint32_t spare, uint32_t* steps, int32_t stepCount, uint32_t* buffer, uint32_t length,
                              uint32_t post) {
  (void)spare;
  return Guarded<int32_t>("StartCapture", 0, [&]() -> int32_t {
    CaptureState& c = captureState;
    TraceText("StartCapture()");
    const uint32_t digitalBits = mode & kDigitalBits;
    const uint32_t analogBits = mode & kAnalogBits;
    if (digitalBits == 2 || analogBits == 8 || (digitalBits == 0 && analogBits == 0)) {
      Fail("Mode %u is no channel configuration", mode);
      return 0;
    }
    if (stepCount < -1 || stepCount > static_cast<int32_t>(kMaxTriggerSteps) || (stepCount > 0 && !steps)) {
      Fail("Trigger step count %d refused: -1 to 8 steps, with their pairs", stepCount);
      return 0;
    }
    if (!buffer || length == 0 || (length & 0xFFFF) != 0) {
      Fail("Capture buffer refused: %s", !buffer ? "null" : "the length must be a nonzero multiple of 65536");
      return 0;
    }
    const int64_t allocated = LibraryWordsFrom(buffer);
    if (allocated >= 0 && length > allocated) {
      Fail("Capture length %u is past the end of the buffer (%lld words)", length, static_cast<long long>(allocated));
      return 0;
    }
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    CCyUSBDevice* analog = deviceState.USBDeviceAnalog;
    if (!PodIsOpen("StartCapture") || !EndRun()) return 0;
    const bool digitalInUse = digitalBits != 0;
    const bool analogInUse = analogBits != 0;
    runDevices = RunDevices{digital, analog, digitalInUse, analogInUse};

    c.SkipBlocks = 2;
    Trace("Bus Speed = %d", digital->HighSpeed);
    c.CaptureMode = mode;
    uint8_t divisor = 1;
    const bool knownRate = RateDivisor(rate, divisor);
    int32_t downloaded = 1;
    if (digitalBits == kDigital16) {
      TraceText("16 Digital Channels");
      digital->SelectAltSetting(1);
      downloaded = LoadImage(digital, firmware::Image::Logic16Image);
      TraceText("Internal Timing");
    } else if (digitalBits == kDigital8) {
      TraceText("8 Digital Channels");
      digital->SelectAltSetting(1);
      downloaded = LoadImage(digital, firmware::Image::Logic8Image);
      TraceText("Internal Timing");
    } else {
      TraceText("0 Digital Channels");
      digital->SelectAltSetting(0);
      if (knownRate) firmware::PatchTimingDivisor(divisor);
      downloaded = LoadImage(digital, firmware::Image::TimingImage);
    }
    c.StreamFirmware.store(0);
    if (analogBits == kAnalog2) {
      TraceText("2 Analog Channels");
      analog->SelectAltSetting(1);
      downloaded = LoadImage(analog, firmware::Image::Scope2Image);
    } else if (analogBits == kAnalog1) {
      TraceText("1 Analog Channel");
      analog->SelectAltSetting(1);
      downloaded = LoadImage(analog, firmware::Image::Scope1Image);
    } else {
      TraceText("0 Analog Channels");
      analog->SelectAltSetting(0);
    }

    c.StreamMode.store(0);
    sampleBuffer.CapturedLength.store(0);
    c.TriggerStep = 0;
    c.TriggerStepCount = static_cast<uint32_t>(stepCount);
    for (int32_t k = 0; k < stepCount; ++k) {
      c.TriggerMask[k] = steps[2 * k];
      c.TriggerValue[k] = steps[2 * k + 1];
    }
    if (downloaded == 0) return 0;

    if (digitalInUse) {
      TraceText("Waiting for FX2 Startup response");
      if (!WaitForReadyByte()) {
        c.Running.store(0);
        return 0;
      }
      TraceText("Received FX2 Startup response");
    }

    c.FirstAnalogBlock = 1;
    c.AnalogTriggerChannel = channel;
    c.AnalogTriggerMode = static_cast<uint8_t>(trigger & 63);
    c.GlitchFilter = static_cast<uint8_t>(trigger & 64);
    sampleBuffer.AnalogTriggerLevel.store(level);
    if (c.AnalogTriggerMode == 1) c.AnalogTriggerState = 255;
    if (c.AnalogTriggerMode == 2) c.AnalogTriggerState = 0;
    c.Triggered.store(0);
    sampleBuffer.TriggerIndex.store(0);
    c.BufferStart.store(0);
    c.BufferEnd.store(0);
    c.PostStoreCount.store(post & 0xFFFF0000u);
    c.PostStoreTotal.store(post & 0xFFFF0000u);
    c.BreakCount.store(0);
    c.HostBreaks.store(0);
    SetCurrentBuffer(buffer, length, length);
    captureRing = Ring{buffer, length};
    c.ProcessedPointer = c.DigitalWritePointer = c.AnalogWritePointer = buffer;
    c.DigitalWritten = c.AnalogWritten = c.MetWritten = 0;

    if (digitalInUse) Flush(digital);
    if (analogInUse) Flush(analog);
    RaiseProcessPriority();

    // The threads' opening flags are set here, before they exist, so that a
    // stop that comes before a thread has run cannot be undone by it. GO
    // goes out once both threads have their requests queued: the pod's FIFO
    // holds well under a millisecond of samples, and a side that lost its
    // first ones would be out of step with the other for the whole run.
    c.Running.store(1);
    c.BothStopped.store(0);
    c.DigitalStopped.store(digitalInUse ? 0 : 1);
    c.AnalogStopped.store(analogInUse ? 0 : 1);
    queuedThreads.store(0);
    if (analogInUse) {
      TraceText("Creating Analog Streaming Thread");
      Trace("Set Analog Priority Return Value = %d", StartTransferThread(TransferThread::Analog, analog));
    }
    if (digitalInUse) {
      TraceText("Creating Digital Streaming Thread");
      Trace("Set Digital Priority Return Value = %d", StartTransferThread(TransferThread::Digital, digital));
      WaitThreadsQueued(analogInUse ? 2 : 1);
      TraceText("Sending GO command to Digital FX2");
      SendGo(divisor);
    }
    return 1;
  });
}

// Null outputs are skipped.
int32_t TQLA_API CaptureStatus(char* breaks, char* running, char* triggered, int32_t* start, int32_t* end,
                               int32_t* triggerAt, char* percent) {
  return Guarded<int32_t>("CaptureStatus", 0, [&] {
    CaptureState& c = captureState;
    if (c.Running.load()) {
      uint32_t sum = c.HostBreaks.load();
      uint8_t counter = 0;
      if (runDevices.digitalInUse && ReadBreakCounter(runDevices.digital, counter) && counter != 252) sum += counter;
      counter = 0;
      if (runDevices.analogInUse && ReadBreakCounter(runDevices.analog, counter) && counter != 252) sum += counter;
      const auto byte = static_cast<int8_t>(static_cast<uint8_t>(sum));
      if (breaks) *breaks = static_cast<char>(byte);
      int32_t expected = c.BreakCount.load();
      while (expected != -1 && !c.BreakCount.compare_exchange_weak(expected, byte)) {
      }
    } else if (breaks) {
      *breaks = static_cast<char>(static_cast<uint8_t>(c.BreakCount.load()));
    }
    if (running) *running = static_cast<char>(c.Running.load());
    const uint8_t isTriggered = c.Triggered.load();
    if (triggered) *triggered = static_cast<char>(isTriggered);
    if (start) *start = static_cast<int32_t>(c.BufferStart.load());
    if (end) *end = static_cast<int32_t>(c.BufferEnd.load());
    if (triggerAt) *triggerAt = static_cast<int32_t>(sampleBuffer.TriggerIndex.load());
    if (percent) {
      const uint64_t total = c.PostStoreTotal.load();
      const uint64_t count = c.PostStoreCount.load();
      *percent = static_cast<char>(isTriggered && total ? (total - std::min(count, total)) * 100 / total : 0);
    }
    const int32_t result = c.BreakCount.load();
    if (result == -1) ReportRunFailure();
    return result;
  });
}

// 0 when the read fails (or no pod is open).
int32_t TQLA_API SingleCaptureStatus(void) {
  return Guarded<int32_t>("SingleCaptureStatus", 0, [] {
    captureState.Running.store(1);
    uint8_t status = 0;
    return ReadStatusByte(deviceState.USBDeviceDigital, status) ? static_cast<int32_t>(status) : 0;
  });
}

// 0 when the transfer threads do not stop within 5 s; the ring is then left
// as it is.
int32_t TQLA_API StopCapture(void) {
  return Guarded<int32_t>("StopCapture", 0, [] {
    CaptureState& c = captureState;
    if (c.StreamFirmware.load() != 1) {
      ReadBreakCounters();
      if (!StopAndRotate()) return 0;
      CalibrateFromEeprom();
      return 1;
    }
    c.Running.store(0);
    SendStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!WaitBothStopped()) return 0;
    RotateBuffer();
    return 1;
  });
}

// 0 when the threads do not stop, or when the second sample array cannot be
// made (the ring is then rotated but not split).
int32_t TQLA_API StopCapture16(void) {
  return Guarded<int32_t>("StopCapture16", 0, [] {
    CaptureState& c = captureState;
    if (!StopAndRotate()) return 0;
    const WordSpan words = CurrentSamples();
    const uint32_t pairs = words.length / 2;
    const WordSpan second = EnsureSecondArray(std::max<uint32_t>(pairs, sampleBuffer.BufferLength));
    if (pairs && second.length < pairs) {
      Fail("StopCapture16: no memory for the second sample array (%u words)", pairs);
      return 0;
    }
    for (uint32_t i = 0; i < pairs; ++i) {
      second.words[i] = words.words[2 * i + 1];
      words.words[i] = words.words[2 * i];
    }
    uint32_t trigger = sampleBuffer.TriggerIndex.load() / 2;
    if (c.AnalogTriggerMode != 0) trigger = trigger > 5 ? trigger - 5 : 0;
    sampleBuffer.TriggerIndex.store(trigger);
    sampleBuffer.CapturedLength.store(sampleBuffer.CapturedLength.load() / 2);
    return 1;
  });
}

int32_t TQLA_API StopCaptureMSO(void) {
  GuardedVoid("StopCaptureMSO", [] {
    if (StopCapture16()) CalibrateFromEeprom();
  });
  return 0;
}

// The temporary buffer is freed and the host's previous current buffer made
// current again. 0 (outputs untouched) when no capture could be started.
uint32_t TQLA_API GetAllSignals(int32_t* ch1, int32_t* ch2, uint32_t* digital) {
  return Guarded<uint32_t>("GetAllSignals", 0, [&]() -> uint32_t {
    const SampleBufferState& s = sampleBuffer;
    uint32_t* previous = s.SampleBuffer;
    const uint32_t previousLength = s.BufferLength, previousStorage = s.StorageWords;
    const uint32_t previousCaptured = s.CapturedLength.load();
    constexpr uint32_t kWords = 2 * kBlockWords;
    uint32_t* words = MakeBuffer(kWords);
    if (!words) return 0;
    auto restore = [&] {
      DeleteBuffer(words);
      SetCurrentBuffer(previous, previousLength, previousStorage);
      sampleBuffer.CapturedLength.store(previousCaptured);
    };
    uint32_t step[2] = {0, 0};
    if (!StartCapture(15, 0, 1, 128, 17, 0, step, 1, words, kWords, kWords)) {
      restore();
      return 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      char breaks = 0, running = 0;
      CaptureStatus(&breaks, &running, nullptr, nullptr, nullptr, nullptr, nullptr);
      if (!running || breaks || std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    StopCapture();
    uint64_t sum1 = 0, sum2 = 0;
    for (uint32_t i = 0; i < kWords; ++i) {
      sum1 += (words[i] >> kCh1Shift) & 0xFF;
      sum2 += words[i] >> kCh2Shift;
    }
    auto centivolts = [&](uint64_t sum) {
      return static_cast<int32_t>((static_cast<double>(sum) / kWords - 128) * kVoltsPerStep * 100);
    };
    if (ch1) *ch1 = centivolts(sum1);
    if (ch2) *ch2 = centivolts(sum2);
    if (digital) *digital = words[100] & kDigitalMask;
    restore();
    return 1;
  });
}

}  // extern "C"
