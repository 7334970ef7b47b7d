// What the device class needs from a USB access layer: a bus that lists and
// opens devices, and per device the descriptors, alternate settings, control
// transfers and asynchronous bulk requests. Real hardware and the simulated
// pod each provide one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tqla::usb {

// An auto-reset event: one signal releases one wait. Callers keep one per
// request slot, as a transfer thread keeps one per queued transfer.
class Overlapped {
 public:
  void Signal();
  // Runs update and signals, both under the event's lock, so that whoever sees
  // the update's effect and then takes the lock knows the signaller is done.
  template <class F>
  void SignalAfter(F&& update) {
    std::lock_guard<std::mutex> hold(lock_);
    update();
    signalled_ = true;
    changed_.notify_all();
  }
  // True when signalled within timeoutMs (the signal is consumed).
  bool Wait(uint32_t timeoutMs);
  void Reset();
  // Waits until no signaller is inside the event.
  void Settle() { std::lock_guard<std::mutex> hold(lock_); }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

enum class TransferStatus : uint8_t { Pending, Completed, Error, Stalled, Cancelled, NoDevice };

// One asynchronous request. Contexts belong to their endpoint and are reused,
// so keeping 32 requests in flight allocates nothing once the pool is warm.
struct TransferContext {
  uint8_t endpoint = 0;
  uint8_t* buffer = nullptr;
  uint32_t length = 0;
  // Progress of a request that is filled in pieces; written by the backend.
  uint32_t filled = 0;
  std::atomic<uint32_t> actual{0};
  std::atomic<TransferStatus> status{TransferStatus::Pending};
  Overlapped* overlapped = nullptr;
  // Told of the outcome instead of an event, for an owner that is not the
  // device class: the usbfs emulation that puts the simulated FX2 behind a
  // kernel interface hands its requests to the model this way.
  void (*completed)(TransferContext&) = nullptr;
  // The backend's own record for this context, made once (see Prepare).
  void* backendData = nullptr;

  bool Done() const { return status.load(std::memory_order_acquire) != TransferStatus::Pending; }
  // Records the outcome, then signals the request's event; the context may be
  // reused by its owner as soon as the event is seen, so nothing touches it after.
  void Complete(TransferStatus outcome, uint32_t bytes);
};

struct DeviceDescriptor {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t deviceRelease = 0;
  bool highSpeed = false;
};

struct EndpointDescriptor {
  uint8_t address = 0;
  uint8_t attributes = 0;
  uint16_t maxPacketSize = 0;  // wMaxPacketSize as in the descriptor
};

struct AltSettingDescriptor {
  uint8_t alternateSetting = 0;
  std::vector<EndpointDescriptor> endpoints;
};

struct SetupPacket {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
};

// One open device of a backend. Submit, cancel and completion may run on
// different threads; the backend makes them safe against each other.
class BackendDevice {
 public:
  virtual ~BackendDevice() = default;
  virtual DeviceDescriptor Descriptor() = 0;
  virtual std::vector<AltSettingDescriptor> AltSettings() = 0;
  // The current alternate setting, or -1 when the query fails.
  virtual int CurrentAltSetting() = 0;
  virtual bool SelectAltSetting(uint8_t setting) = 0;
  // A control transfer on endpoint 0; transferred receives the data bytes moved.
  virtual bool Control(const SetupPacket& setup, uint8_t* data, uint32_t& transferred,
                       uint32_t timeoutMs) = 0;
  // Makes the backend's record for a new context; false when it cannot.
  virtual bool Prepare(TransferContext&) { return true; }
  virtual void Release(TransferContext&) {}
  // Queues a bulk request. Every submitted context is completed exactly once,
  // possibly before Submit returns.
  virtual void Submit(TransferContext& transfer) = 0;
  // Asks for the request to end; its completion follows, possibly later.
  virtual void Cancel(TransferContext& transfer) = 0;
  virtual void CancelEndpoint(uint8_t endpoint) = 0;
  virtual bool ClearHalt(uint8_t endpoint) = 0;
  // True once after a control transfer made the device leave the bus and
  // come back as another (an FX2 taking on the pod's identity when its
  // program starts); the descriptors must then be read again.
  virtual bool TakeReenumerated() { return false; }
  // Releases the device; false when the handle could not be closed.
  virtual bool Close() = 0;
  // An emulated FX2 runs the stand-in firmware images; real hardware never
  // gets them.
  virtual bool RunsStandInFirmware() const = 0;
};

// A source of devices: the devices present, in a stable order.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual uint32_t Count() = 0;
  virtual std::unique_ptr<BackendDevice> Open(uint32_t index) = 0;
};

// All devices of every backend, real hardware first, then the simulated bus.
uint32_t CountAllDevices();
std::unique_ptr<BackendDevice> OpenDeviceAt(uint32_t index);

}  // namespace tqla::usb
