// What every capture and stream run needs around its block processors: the
// transfer threads with their queues of 32 requests, the status and command
// endpoints, the bounded waits, priorities, and ending a run that still goes.
#pragma once

#include <atomic>
#include <cstdint>

#include "device/device_state.h"
#include "usb/cyusb.h"

namespace tqla {

// Bounds of the waits (milliseconds). A pod whose firmware never answers,
// or threads that never stop, make the operation fail instead of hang.
constexpr uint32_t kReadyWaitMs = 2000;
constexpr uint32_t kStopWaitMs = 5000;
// Wait limit of one status read on endpoint 0x81.
constexpr uint32_t kStatusTimeoutMs = 500;
// How long a stream thread still waits for its last transfer once the run
// has ended (the pod ends it when it takes the stop command).
constexpr uint32_t kStreamEndWaitMs = 1000;
constexpr uint8_t kReadyByte = 0x55;

// The FX2 a run uses, fixed at its start.
struct RunDevices {
  CCyUSBDevice* digital = nullptr;
  CCyUSBDevice* analog = nullptr;
  bool digitalInUse = false;
  bool analogInUse = false;
};

extern RunDevices runDevices;

// Transfer threads still alive, and those of the current run that have
// their first requests queued.
extern std::atomic<int32_t> liveThreads;
extern std::atomic<int32_t> queuedThreads;

// Waits, bounded, until count threads of the run have queued their requests.
bool WaitThreadsQueued(int32_t count);

// One byte from endpoint 0x81; false when the read fails. Reads from the
// host and from the trigger engine are serialised.
bool ReadStatusByte(CCyUSBDevice* device, uint8_t& byte);

// The break counter of an FX2: the second of two status reads.
bool ReadBreakCounter(CCyUSBDevice* device, uint8_t& counter);

// Polls the Digital FX2's status every millisecond until it reads 0x55, up
// to kReadyWaitMs; false (with a trace line) when it never does.
bool WaitForReadyByte();

// A command on endpoint 0x01 of the run's Digital FX2 (at most 64 bytes).
bool SendCommandBytes(const uint8_t* bytes, int32_t length);
bool SendCommand(uint8_t first, uint8_t second);

// GO with the rate divisor, and the stop command of the streaming images.
bool SendGo(uint8_t divisor);
bool SendStop();

// The rate divisor of a rate code; 1 for a code outside the table, or
// nothing for TimingImage, which keeps its byte.
bool RateDivisor(uint32_t rateCode, uint8_t& divisor);

// Polls BothStopped every millisecond up to kStopWaitMs; false (with a
// trace line) when the threads did not stop.
bool WaitBothStopped();

// Ends a run whose threads still go (a start that finds one, or the pod
// closing): clears Running, sends the stop command to a streaming image and
// waits, bounded, for the threads to end. False when they did not.
bool EndRun();

// EndRun for a pod about to close: the run's devices are forgotten too, so
// that no later stop reaches a device that is gone.
void EndRunBeforeClose();

// Ends the run as failed on the host's side: traces why, BreakCount -1 (what
// CaptureStatus then returns), Running 0. Safe from any thread.
void FailRun(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Makes the last run's failure the calling thread's last error (for status
// calls that return -1).
void ReportRunFailure();

// High priority for the process (traced), time-critical for the threads.
void RaiseProcessPriority();

// The transfer queue's slots (device/device_state.h): queue a 64 KiB request
// of slot i's buffer, and finish it (length: the bytes that moved).
void QueueSlot(CCyUSBEndPoint* ep, TransferQueue& q, int i);
bool FinishSlot(CCyUSBEndPoint* ep, TransferQueue& q, int i, int32_t& length);
// After a failed wait: cancels everything pending and waits, bounded, for slot i.
void AbortAndWait(CCyUSBEndPoint* ep, TransferQueue& q, int i);
// Cancels and collects every request still queued, visiting the slots once
// from the one after last, each waited for up to waitMs; no request outlives
// the run.
void DrainQueue(CCyUSBEndPoint* ep, TransferQueue& q, int last, uint32_t waitMs);

// Counts transfers that end at once without data (a stalled endpoint, a pod
// gone from the bus). A full queue of them clears the endpoint's halt; when
// even that fails the FX2 is gone and the run fails.
class FailureWatch {
 public:
  FailureWatch(CCyUSBEndPoint* ep, const char* name) : ep_(ep), name_(name) {}
  void Good() { failures_ = 0; }
  void Failed();

 private:
  CCyUSBEndPoint* ep_;
  const char* name_;
  uint32_t failures_ = 0;
};

enum class TransferThread { Digital, Analog, Stream };

// Starts a transfer thread on device's endpoint 0x86. The caller has set the
// run flags the thread starts with. Returns 1 when the thread got its
// time-critical priority, else 0 (it then runs at normal priority).
int32_t StartTransferThread(TransferThread kind, CCyUSBDevice* device);

// Starts the thread of a generation run or pulse count: body(device) on its
// own thread, counted among the live transfer threads (EndRun waits for it).
// Returns 1 when a time-critical thread got that priority, else 0.
int32_t StartRunThread(void (*body)(CCyUSBDevice*), CCyUSBDevice* device, bool timeCritical);

}  // namespace tqla
