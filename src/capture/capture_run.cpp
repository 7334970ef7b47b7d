#include "capture/capture_run.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "capture/block_processors.h"
#include "capture/capture_state.h"
#include "capture/trigger_engine.h"
#include "device/device_state.h"
#include "frame/sample_buffer.h"
#include "frame/trace.h"
#include "platform/threads.h"

namespace tqla {

RunDevices runDevices;
std::atomic<int32_t> liveThreads{0};
std::atomic<int32_t> queuedThreads{0};

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kSampleEndpoint = 0x86;
constexpr uint8_t kCommandEndpoint = 0x01;
constexpr uint8_t kStatusEndpoint = 0x81;
constexpr uint32_t kCaptureWaitMs = 120;
constexpr uint32_t kStreamWaitMs = 500000;
// Bound of the wait for a cancelled request's event.
constexpr uint32_t kCancelWaitMs = 2000;
// Failed transfers in a row after which the endpoint's halt is cleared, and
// the FX2 given up when that fails too.
constexpr uint32_t kFailuresBeforeReset = kQueueSlots;

std::mutex statusLock;

void Sleep1ms() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

template <class F>
bool PollMs(uint32_t limitMs, F&& done) {
  const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (Clock::now() >= end) return false;
    Sleep1ms();
  }
  return true;
}

CCyUSBEndPoint* SampleEndpoint(CCyUSBDevice* device) {
  if (!device) return nullptr;
  try {
    return device->FindEndpoint(kSampleEndpoint);
  } catch (const std::exception&) {
    return nullptr;
  }
}

void MarkStopped(bool digital) {
  CaptureState& c = captureState;
  (digital ? c.DigitalStopped : c.AnalogStopped).store(1);
  if ((digital ? c.AnalogStopped : c.DigitalStopped).load()) {
    c.BothStopped.store(1);
    TraceText("Both Stopped");
  } else {
    TraceText(digital ? "Digital Stopped, but Analog not yet" : "Analog Stopped, but Digital not yet");
  }
}

// StreamProcDigital and StreamProcAnalog.
void CaptureThread(bool digital, CCyUSBDevice* device) {
  CaptureState& c = captureState;
  TransferQueue& q = digital ? digitalQueue : analogQueue;
  const char* name = digital ? "Digital" : "Analog";
  Trace("Starting StreamProc%s() Thread", name);
  CCyUSBEndPoint* ep = SampleEndpoint(device);
  if (!ep) {
    Trace("%s FX2 has no endpoint 0x86; run ended", name);
    c.Running.store(0);
  } else {
    ep->AbortTransfers();
    ep->ResetEndpoint();
    ep->SetTransferSize(kQueueSlotBytes);
    for (int i = 0; i < kQueueSlots; ++i) QueueSlot(ep, q, i);
    queuedThreads.fetch_add(1);
    FailureWatch watch(ep, name);
    int last = kQueueSlots - 1;
    while (c.Running.load()) {
      for (int i = 0; i < kQueueSlots; ++i) {
        int32_t length = 0;
        if (!ep->WaitTransfer(&q.Events[i], kCaptureWaitMs)) AbortAndWait(ep, q, i);
        FinishSlot(ep, q, i, length);
        // A whole block is good data even when the wait ran out just as it
        // came in (and the abort then found it complete).
        if (length == static_cast<int32_t>(kQueueSlotBytes)) {
          watch.Good();
          if (digital) {
            ProcessDigitalBlock(q.Buffers[i]);
          } else {
            ProcessAnalogBlock(q.Buffers[i]);
          }
        } else if (length > 0) {
          // Part of a block came (a stall, a cancelled wait): its place in the
          // ring cannot be filled, so it is dropped and counted as a break.
          watch.Good();
          if (c.Running.load()) {
            c.HostBreaks.fetch_add(1);
            Trace("%s FX2: transfer ended after %d of 65536 bytes; block dropped", name, static_cast<int>(length));
          }
        } else {
          watch.Failed();
        }
        last = i;
        if (!c.Running.load()) break;
        QueueSlot(ep, q, i);
      }
    }
    if (!digital) TraceText("Exiting StreamProcAnalog() Thread");
    DrainQueue(ep, q, last, 1);
  }
  MarkStopped(digital);
}

// StreamProc: the transfer thread of the streaming images.
void StreamThread(CCyUSBDevice* device) {
  CaptureState& c = captureState;
  TransferQueue& q = digitalQueue;
  CCyUSBEndPoint* ep = SampleEndpoint(device);
  if (!ep) {
    TraceText("Digital FX2 has no endpoint 0x86; run ended");
    c.Running.store(0);
    c.BothStopped.store(1);
    return;
  }
  ep->SetTransferSize(kQueueSlotBytes);
  TraceText("Beginning Transfer");
  for (int i = 0; i < kQueueSlots; ++i) QueueSlot(ep, q, i);
  queuedThreads.fetch_add(1);
  FailureWatch watch(ep, "Digital");
  int last = kQueueSlots - 1;
  while (c.Running.load()) {
    for (int i = 0; i < kQueueSlots; ++i) {
      // Waited in slices so that a run that has ended stops waiting soon
      // even when the pod never ends the transfer.
      const auto start = Clock::now();
      Clock::time_point endedAt{};
      while (!ep->WaitTransfer(&q.Events[i], 100)) {
        const auto now = Clock::now();
        if (now - start >= std::chrono::milliseconds(kStreamWaitMs)) break;
        if (c.Running.load()) continue;
        if (endedAt == Clock::time_point{}) endedAt = now;
        if (now - endedAt >= std::chrono::milliseconds(kStreamEndWaitMs)) break;
      }
      int32_t length = 0;
      FinishSlot(ep, q, i, length);
      Trace("Got Data length %d\n", static_cast<int>(length));
      if (length == static_cast<int32_t>(kQueueSlotBytes)) {
        watch.Good();
        ProcessStreamBlock(q.Buffers[i]);
      } else if (length > 0) {
        // The host gets whole blocks only: a part of one is lost data, shown
        // as an overflow, never a slot whose tail is stale.
        watch.Good();
        if (c.Running.load()) {
          Trace("Transfer ended after %d of 65536 bytes; block dropped", static_cast<int>(length));
          streamRing.StreamOverflow.store(128);
        }
      } else {
        watch.Failed();
      }
      last = i;
      if (!c.Running.load()) {
        DrainQueue(ep, q, last, 1);
        ep->ResetEndpoint();
        c.BothStopped.store(1);
        return;
      }
      QueueSlot(ep, q, i);
    }
  }
  DrainQueue(ep, q, last, 1);
  c.BothStopped.store(1);
}

// Runs body on a new detached thread, counted in liveThreads; a failure that
// escapes it ends the run.
int32_t StartThread(std::function<void()> body, bool timeCritical) {
  liveThreads.fetch_add(1);
  std::thread thread;
  try {
    thread = std::thread([body = std::move(body)] {
      try {
        body();
      } catch (const std::exception& e) {
        Trace("Transfer thread failed: %s", e.what());
        captureState.Running.store(0);
        captureState.BothStopped.store(1);
      }
      liveThreads.fetch_sub(1);
    });
  } catch (const std::exception&) {
    liveThreads.fetch_sub(1);
    throw;
  }
  const bool scheduled = !timeCritical || platform::SetTimeCritical(thread);
  thread.detach();
  return scheduled ? 1 : 0;
}

// Freeing the block a capture writes into ends the run first, and the stop
// that may still come rotates nothing.
bool ReleaseCaptureRing(const uint32_t* begin, const uint32_t* end) {
  const Ring ring = captureRing;
  if (!ring.words || ring.words + ring.length <= begin || ring.words >= end) return true;
  if (!EndRun()) return false;
  std::lock_guard<std::mutex> hold(captureState.BlockLock);
  captureRing = Ring{};
  captureState.ProcessedPointer = captureState.DigitalWritePointer = captureState.AnalogWritePointer = nullptr;
  return true;
}

// Ends a run still going when the library unloads, before the objects its
// threads use are destroyed.
struct RunEndAtExit {
  RunEndAtExit() {
    SetBlockReleaseCheck(ReleaseCaptureRing);
    SetRunEnder(EndRunBeforeClose);
  }
  ~RunEndAtExit() { EndRun(); }
} runEndAtExit;

}  // namespace

void QueueSlot(CCyUSBEndPoint* ep, TransferQueue& q, int i) {
  q.Contexts[i] = ep->BeginTransfer(q.Buffers[i], static_cast<int32_t>(kQueueSlotBytes), &q.Events[i]);
  q.Queued[i] = true;
}

bool FinishSlot(CCyUSBEndPoint* ep, TransferQueue& q, int i, int32_t& length) {
  length = 0;
  const bool ok = ep->FinishTransfer(q.Buffers[i], length, &q.Events[i], q.Contexts[i]);
  q.Contexts[i] = nullptr;
  q.Queued[i] = false;
  return ok;
}

void AbortAndWait(CCyUSBEndPoint* ep, TransferQueue& q, int i) {
  ep->AbortTransfers();
  ep->WaitTransfer(&q.Events[i], kCancelWaitMs);
}

void DrainQueue(CCyUSBEndPoint* ep, TransferQueue& q, int last, uint32_t waitMs) {
  ep->AbortTransfers();
  for (int k = 1; k <= kQueueSlots; ++k) {
    const int j = (last + k) % kQueueSlots;
    if (q.Queued[j]) {
      if (!ep->WaitTransfer(&q.Events[j], waitMs)) AbortAndWait(ep, q, j);
      int32_t length = 0;
      FinishSlot(ep, q, j, length);
    }
    q.Events[j].Reset();
  }
}

void FailureWatch::Failed() {
    if (++failures_ % kFailuresBeforeReset) return;
    if (ep_->ResetEndpoint()) {
      Trace("%s FX2: transfers failing, endpoint reset", name_);
      Sleep1ms();
      return;
    }
    FailRun("%s FX2 stopped answering; run ended", name_);
}

bool ReadStatusByte(CCyUSBDevice* device, uint8_t& byte) {
  if (!usb::IsLiveDevice(device)) return false;
  std::lock_guard<std::mutex> hold(statusLock);
  CCyUSBEndPoint* ep = nullptr;
  try {
    ep = device->FindEndpoint(kStatusEndpoint);
  } catch (const std::exception&) {
    return false;
  }
  if (!ep) return false;
  ep->Timeout = kStatusTimeoutMs;
  uint8_t value = 0;
  int32_t length = 1;
  if (!ep->Transfer(&value, length) || length != 1) return false;
  byte = value;
  return true;
}

bool ReadBreakCounter(CCyUSBDevice* device, uint8_t& counter) {
  uint8_t first = 0;
  ReadStatusByte(device, first);
  return ReadStatusByte(device, counter);
}

void ReadBreakCounters() {
  auto sum = static_cast<int32_t>(captureState.HostBreaks.load());
  uint8_t counter = 0;
  if (runDevices.digitalInUse) {
    ReadBreakCounter(runDevices.digital, counter);
    Trace("Digital Breaks=%d", counter);
    sum += counter;
  }
  counter = 0;
  if (runDevices.analogInUse) {
    ReadBreakCounter(runDevices.analog, counter);
    Trace("Analog Breaks=%d", counter);
    sum += counter;
  }
  // An FX2 given up during the run keeps the count at -1.
  int32_t expected = captureState.BreakCount.load();
  while (expected != -1 && !captureState.BreakCount.compare_exchange_weak(expected, sum)) {
  }
}

bool WaitForReadyByte() {
  CCyUSBDevice* digital = runDevices.digital;
  const bool ready = PollMs(kReadyWaitMs, [&] {
    captureState.Running.store(1);
    uint8_t status = 0;
    return ReadStatusByte(digital, status) && status == kReadyByte;
  });
  if (!ready) FailText("No FX2 Startup response: the pod's firmware did not send its ready byte within 2 s");
  return ready;
}

bool SendCommandBytes(const uint8_t* bytes, int32_t length) {
  CCyUSBDevice* digital = runDevices.digital;
  if (!usb::IsLiveDevice(digital)) return false;
  CCyUSBEndPoint* ep = nullptr;
  try {
    ep = digital->FindEndpoint(kCommandEndpoint);
  } catch (const std::exception&) {
    return false;
  }
  if (!ep) return false;
  uint8_t copy[64];
  if (length < 0 || length > static_cast<int32_t>(sizeof copy)) return false;
  std::memcpy(copy, bytes, static_cast<size_t>(length));
  return ep->Transfer(copy, length);
}

bool SendCommand(uint8_t first, uint8_t second) {
  const uint8_t bytes[2] = {first, second};
  return SendCommandBytes(bytes, 2);
}

bool SendGo(uint8_t divisor) { return SendCommand(1, divisor); }
bool SendStop() { return SendCommand(0, 1); }

bool RateDivisor(uint32_t rateCode, uint8_t& divisor) {
  static constexpr struct {
    uint32_t code;
    uint8_t divisor;
  } kRates[] = {{17, 47}, {27, 23}, {37, 15}, {47, 11}, {67, 7}, {87, 5}, {127, 3}, {167, 2}, {247, 1}};
  for (const auto& r : kRates) {
    if (r.code == rateCode) {
      divisor = r.divisor;
      return true;
    }
  }
  return false;
}

bool WaitThreadsQueued(int32_t count) {
  return PollMs(kReadyWaitMs, [&] { return queuedThreads.load() >= count || captureState.Running.load() == 0; });
}

bool WaitBothStopped() {
  const bool stopped = PollMs(kStopWaitMs, [] { return captureState.BothStopped.load() != 0; });
  if (!stopped) FailText("Transfer threads did not stop within 5 s");
  return stopped;
}

bool EndRun() {
  if (liveThreads.load() == 0) return true;
  captureState.Running.store(0);
  if (captureState.StreamFirmware.load() == 1) SendStop();
  const bool ended = PollMs(kStopWaitMs, [] { return liveThreads.load() == 0; });
  if (!ended) FailText("Transfer threads of the last run did not end within 5 s");
  return ended;
}

namespace {

// Why the last run failed, for the host thread's status calls.
struct RunFailure {
  std::mutex lock;
  char text[256] = "";
};
RunFailure runFailure;

}  // namespace

void FailRun(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  TraceText(text);
  {
    std::lock_guard<std::mutex> hold(runFailure.lock);
    std::memcpy(runFailure.text, text, sizeof text);
  }
  captureState.BreakCount.store(-1);
  captureState.Running.store(0);
}

void ReportRunFailure() {
  std::lock_guard<std::mutex> hold(runFailure.lock);
  Fail("The run failed: %s", runFailure.text[0] ? runFailure.text : "an FX2 stopped answering");
}

void EndRunBeforeClose() {
  EndRun();
  runDevices = RunDevices{};
}

void RaiseProcessPriority() {
  TraceText(platform::RaiseProcessPriority() ? "Priority Class Set to High" : "Priority Class FAILED to set to High");
}

int32_t StartTransferThread(TransferThread kind, CCyUSBDevice* device) {
  return StartThread(
      [kind, device] {
        if (kind == TransferThread::Stream) {
          StreamThread(device);
        } else {
          CaptureThread(kind == TransferThread::Digital, device);
        }
      },
      true);
}

int32_t StartRunThread(void (*body)(CCyUSBDevice*), CCyUSBDevice* device, bool timeCritical) {
  return StartThread([body, device] { body(device); }, timeCritical);
}

}  // namespace tqla
