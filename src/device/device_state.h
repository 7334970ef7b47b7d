// State of pod device access: the enumeration device, the pod's two device
// objects, the pin maps, the last control-transfer result and the transfer
// queues the capture, stream, generator and pulse-count threads share.
#pragma once

#include <atomic>
#include <cstdint>

#include "usb/cyusb.h"

namespace tqla {

struct DeviceState {
  CCyUSBDevice* USBDeviceDigital = nullptr;
  CCyUSBDevice* USBDeviceAnalog = nullptr;
  uint8_t LowByteMap[256] = {};
  uint8_t HighByteMap[256] = {};
  uint32_t LowByteUnmap[256] = {};
  uint32_t HighByteUnmap[256] = {};
  // 1 or 0: the most recent control transfer of the firmware, EEPROM and
  // vendor-request operations.
  std::atomic<uint32_t> LastTransferResult{0};
  // The last signal mask sent to the pod (pin order), kept by the static I/O;
  // SetMode clears it so that the next mask is sent again.
  std::atomic<uint32_t> SignalMask{0};
};

extern DeviceState deviceState;

// The enumeration device object; made on first use, not at load, so that
// loading the library starts nothing.
CCyUSBDevice& USBDevice();

void BuildPinMaps();

// True when a pod is open (both device objects made); else false, with the
// reason "<what>: no pod is open" as the last error.
bool PodIsOpen(const char* what);

// Closing a pod first ends a run still going on it and forgets its devices;
// the capture engine, which owns runs, installs how (once, at load).
using RunEnder = void (*)();
void SetRunEnder(RunEnder ender);
void EndRunOnPod();

// One transfer queue per FX2: 32 slots of 65536 bytes with their events and
// request contexts.
constexpr int kQueueSlots = 32;
constexpr uint32_t kQueueSlotBytes = 65536;

struct TransferQueue {
  alignas(64) uint8_t Buffers[kQueueSlots][kQueueSlotBytes];
  usb::Overlapped Events[kQueueSlots];
  usb::TransferContext* Contexts[kQueueSlots];
  bool Queued[kQueueSlots];
};

extern TransferQueue digitalQueue;
extern TransferQueue analogQueue;

}  // namespace tqla
