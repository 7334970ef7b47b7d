#include "usb/cyusb.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unordered_set>

#include "frame/trace.h"

namespace tqla::usb {
namespace {

struct LiveDevices {
  std::mutex lock;
  std::unordered_set<const CCyUSBDevice*> devices;
};
LiveDevices& liveDevices() {
  static LiveDevices instance;
  return instance;
}

// Requests whose cancellation never completed. Their memory stays reserved so
// that a late completion from the access layer lands somewhere valid.
struct Orphans {
  std::mutex lock;
  std::vector<std::unique_ptr<TransferContext>> contexts;
};
Orphans& orphans() {
  static Orphans instance;
  return instance;
}

// Bound of the wait for a cancelled request to come back.
constexpr uint32_t kCancelWaitMs = 2000;

uint16_t PacketBytes(uint16_t wMaxPacketSize) {
  return static_cast<uint16_t>((wMaxPacketSize & 0x7FF) * (1 + ((wMaxPacketSize >> 11) & 3)));
}

}  // namespace

void Overlapped::Signal() {
  std::lock_guard<std::mutex> hold(lock_);
  signalled_ = true;
  changed_.notify_all();
}

bool Overlapped::Wait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> hold(lock_);
  if (!changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return signalled_; })) return false;
  signalled_ = false;
  return true;
}

void Overlapped::Reset() {
  std::lock_guard<std::mutex> hold(lock_);
  signalled_ = false;
}

void TransferContext::Complete(TransferStatus outcome, uint32_t bytes) {
  Overlapped* event = overlapped;
  auto update = [&] {
    actual.store(bytes, std::memory_order_relaxed);
    status.store(outcome, std::memory_order_release);
  };
  if (event) {
    event->SignalAfter(update);
  } else {
    update();
    if (completed) completed(*this);
  }
}

bool IsLiveDevice(const ::CCyUSBDevice* device) {
  if (!device) return false;
  LiveDevices& live = liveDevices();
  std::lock_guard<std::mutex> hold(live.lock);
  return live.devices.count(device) != 0;
}

}  // namespace tqla::usb

using namespace tqla;
using namespace tqla::usb;

// ---- Endpoints ----

CCyUSBEndPoint::CCyUSBEndPoint(CCyUSBDevice& owner, const EndpointDescriptor& descriptor)
    : Address(descriptor.address),
      Attributes(descriptor.attributes),
      MaxPktSize(PacketBytes(descriptor.maxPacketSize)),
      owner_(owner) {}

CCyUSBEndPoint::~CCyUSBEndPoint() = default;

bool CCyUSBEndPoint::Usable() const { return owner_.device_ != nullptr; }

TransferContext* CCyUSBEndPoint::TakeContext() {
  std::lock_guard<std::mutex> hold(poolLock_);
  if (!free_.empty()) {
    TransferContext* context = free_.back();
    free_.pop_back();
    return context;
  }
  auto made = std::make_unique<TransferContext>();
  if (!owner_.device_->Prepare(*made)) return nullptr;
  contexts_.push_back(std::move(made));
  return contexts_.back().get();
}

void CCyUSBEndPoint::ReturnContext(TransferContext* context) {
  std::lock_guard<std::mutex> hold(poolLock_);
  free_.push_back(context);
}

TransferContext* CCyUSBEndPoint::BeginTransfer(uint8_t* buffer, int32_t length, Overlapped* overlapped) {
  if (!overlapped) return nullptr;
  if (!Usable() || length < 0 || (length > 0 && !buffer)) {
    overlapped->Signal();
    return nullptr;
  }
  TransferContext* context = TakeContext();
  if (!context) {
    overlapped->Signal();
    return nullptr;
  }
  context->endpoint = Address;
  context->buffer = buffer;
  context->length = static_cast<uint32_t>(length);
  context->filled = 0;
  context->actual.store(0, std::memory_order_relaxed);
  context->status.store(TransferStatus::Pending, std::memory_order_relaxed);
  context->overlapped = overlapped;
  overlapped->Reset();
  owner_.device_->Submit(*context);
  return context;
}

bool CCyUSBEndPoint::WaitTransfer(Overlapped* overlapped, uint32_t timeoutMs) {
  return overlapped && overlapped->Wait(timeoutMs);
}

bool CCyUSBEndPoint::CancelAndWait(TransferContext& context) {
  if (context.Done()) return true;
  if (Usable()) owner_.device_->Cancel(context);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelWaitMs);
  while (!context.Done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (context.overlapped) context.overlapped->Wait(10);
  }
  if (context.overlapped) context.overlapped->Settle();
  return true;
}

bool CCyUSBEndPoint::FinishTransfer(uint8_t* buffer, int32_t& length, Overlapped* overlapped,
                                    TransferContext* context) {
  (void)overlapped;
  if (!context) {
    length = 0;
    return false;
  }
  if (!CancelAndWait(*context)) {
    // Still with the access layer: keep the memory, never reuse it.
    Trace("Transfer on endpoint 0x%02X did not end after cancellation", Address);
    std::lock_guard<std::mutex> hold(poolLock_);
    auto it = std::find_if(contexts_.begin(), contexts_.end(), [&](auto& c) { return c.get() == context; });
    if (it != contexts_.end()) {
      std::lock_guard<std::mutex> holdOrphans(orphans().lock);
      orphans().contexts.push_back(std::move(*it));
      contexts_.erase(it);
    }
    length = 0;
    return false;
  }
  const uint32_t moved = context->actual.load(std::memory_order_relaxed);
  const bool ok = context->status.load(std::memory_order_acquire) == TransferStatus::Completed;
  if ((Address & 0x80) && buffer && buffer != context->buffer && moved) std::memmove(buffer, context->buffer, moved);
  length = static_cast<int32_t>(moved);
  context->overlapped = nullptr;
  ReturnContext(context);
  return ok;
}

void CCyUSBEndPoint::AbortTransfers() {
  if (Usable()) owner_.device_->CancelEndpoint(Address);
}

bool CCyUSBEndPoint::ResetEndpoint() { return Usable() && owner_.device_->ClearHalt(Address); }

void CCyUSBEndPoint::SetTransferSize(uint32_t bytes) {
  const uint32_t packet = MaxPktSize ? MaxPktSize : 1;
  const uint64_t rounded = (static_cast<uint64_t>(bytes) + packet - 1) / packet * packet;
  transferSize_ = static_cast<uint32_t>(std::min<uint64_t>(rounded, UINT32_MAX / packet * packet));
}

bool CCyUSBEndPoint::Transfer(uint8_t* buffer, int32_t& length) {
  if (!Usable() || length < 0 || (length > 0 && !buffer)) {
    length = 0;
    return false;
  }
  TransferContext* context = BeginTransfer(buffer, length, &syncEvent_);
  if (!context) {
    length = 0;
    return false;
  }
  const bool inTime = WaitTransfer(&syncEvent_, Timeout) || context->Done();
  const bool ok = FinishTransfer(buffer, length, &syncEvent_, context);
  return inTime && ok;
}

void CCyUSBEndPoint::Shutdown() {
  if (!Usable()) return;
  owner_.device_->CancelEndpoint(Address);
  std::lock_guard<std::mutex> hold(poolLock_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelWaitMs);
  for (auto& context : contexts_) {
    while (!context->Done() && std::chrono::steady_clock::now() < deadline) {
      if (context->overlapped) context->overlapped->Wait(10);
    }
  }
  for (auto& context : contexts_) {
    if (context->Done()) {
      if (context->overlapped) context->overlapped->Settle();
      owner_.device_->Release(*context);
    } else {
      Trace("Transfer on endpoint 0x%02X still pending at close", Address);
      std::lock_guard<std::mutex> holdOrphans(orphans().lock);
      orphans().contexts.push_back(std::move(context));
    }
  }
  contexts_.clear();
  free_.clear();
  syncEvent_.Settle();
}

// ---- Control endpoint ----

namespace {
EndpointDescriptor ControlDescriptor() { return EndpointDescriptor{0, 0, 64}; }
}  // namespace

CCyControlEndPoint::CCyControlEndPoint(CCyUSBDevice& owner) : CCyUSBEndPoint(owner, ControlDescriptor()) {}

bool CCyControlEndPoint::Transfer(uint8_t* buffer, int32_t& length) {
  if (!Usable() || length < 0 || length > 0xFFFF || (length > 0 && !buffer)) {
    length = 0;
    return false;
  }
  SetupPacket setup;
  setup.requestType = static_cast<uint8_t>(((Direction & 1) << 7) | ((RequestType & 3) << 5) | (Target & 0x1F));
  setup.request = Request;
  setup.value = Value;
  setup.index = Index;
  setup.length = static_cast<uint16_t>(length);
  // The limit goes over in whole seconds; below one second it is one second,
  // and so is a Timeout of 0, so that no control transfer waits without end.
  const uint32_t seconds = std::max<uint32_t>(1, Timeout / 1000);
  uint32_t moved = 0;
  const bool ok = owner_.device_->Control(setup, buffer, moved, seconds * 1000);
  if (owner_.device_->TakeReenumerated()) owner_.ReadDescriptors();
  length = static_cast<int32_t>(moved);
  return ok;
}

bool CCyControlEndPoint::ControlRead(uint8_t* buffer, int32_t& length) {
  Direction = 1;
  return Transfer(buffer, length);
}

bool CCyControlEndPoint::ControlWrite(uint8_t* buffer, int32_t& length) {
  Direction = 0;
  return Transfer(buffer, length);
}

// ---- Device ----

CCyUSBDevice::CCyUSBDevice(bool open) {
  {
    LiveDevices& live = liveDevices();
    std::lock_guard<std::mutex> hold(live.lock);
    live.devices.insert(this);
  }
  if (open) OpenDevice(0);
}

CCyUSBDevice::~CCyUSBDevice() {
  try {
    CloseDevice();
  } catch (const std::exception& e) {
    Trace("%s", e.what());
  }
  LiveDevices& live = liveDevices();
  std::lock_guard<std::mutex> hold(live.lock);
  live.devices.erase(this);
}

uint8_t CCyUSBDevice::CountDevices() { return static_cast<uint8_t>(std::min<uint32_t>(255, CountAllDevices())); }

bool CCyUSBDevice::OpenDevice(uint8_t index) {
  CloseDevice();
  std::unique_ptr<BackendDevice> opened = OpenDeviceAt(index);
  if (!opened) return false;
  device_ = std::move(opened);
  control_.reset(new CCyControlEndPoint(*this));
  ControlEndpoint = control_.get();
  ReadDescriptors();
  return true;
}

void CCyUSBDevice::ReadDescriptors() {
  const DeviceDescriptor descriptor = device_->Descriptor();
  VendorId = descriptor.vendorId;
  ProductId = descriptor.productId;
  DeviceRelease = descriptor.deviceRelease;
  HighSpeed = descriptor.highSpeed ? 1 : 0;
  settings_ = device_->AltSettings();
  currentSetting_ = device_->CurrentAltSetting();
  RebuildEndpoints(currentSetting_);
}

void CCyUSBDevice::CloseDevice() {
  if (!device_) return;
  for (auto& [address, endpoint] : endpointPool_) endpoint->Shutdown();
  endpoints_.clear();
  endpointPool_.clear();
  ControlEndpoint = nullptr;
  control_.reset();
  const bool closed = device_->Close();
  device_.reset();
  settings_.clear();
  currentSetting_ = -1;
  VendorId = ProductId = DeviceRelease = 0;
  HighSpeed = 0;
  if (!closed) throw UsbError(kCloseHandleFailed);
}

uint8_t CCyUSBDevice::GetAltSetting() {
  if (!device_) return 255;
  const int setting = device_->CurrentAltSetting();
  if (setting < 0 || setting > 254) return 255;
  if (setting != currentSetting_) {
    currentSetting_ = setting;
    RebuildEndpoints(setting);
  }
  return static_cast<uint8_t>(setting);
}

bool CCyUSBDevice::SelectAltSetting(uint8_t setting) {
  if (!device_) return false;
  // Another object may have changed the setting of the same controller, so
  // the controller's own answer decides whether it is current.
  if (GetAltSetting() == setting) return true;
  const bool exists = std::any_of(settings_.begin(), settings_.end(),
                                  [&](const AltSettingDescriptor& s) { return s.alternateSetting == setting; });
  if (!exists) return false;
  if (!device_->SelectAltSetting(setting)) return false;
  currentSetting_ = setting;
  RebuildEndpoints(setting);
  return true;
}

void CCyUSBDevice::RebuildEndpoints(int setting) {
  endpoints_.clear();
  for (const AltSettingDescriptor& s : settings_) {
    if (s.alternateSetting != setting) continue;
    for (const EndpointDescriptor& e : s.endpoints) {
      if ((e.address & 0x7F) == 0) {
        endpoints_.push_back(nullptr);
        continue;
      }
      auto& slot = endpointPool_[e.address];
      if (!slot) {
        slot.reset(new CCyUSBEndPoint(*this, e));
      } else {
        slot->Attributes = e.attributes;
        slot->MaxPktSize = PacketBytes(e.maxPacketSize);
      }
      endpoints_.push_back(slot.get());
    }
  }
}

uint8_t CCyUSBDevice::CountEndpoints() {
  if (!device_) return 0;
  return static_cast<uint8_t>(std::min<size_t>(255, endpoints_.size() + 1));
}

CCyUSBEndPoint* CCyUSBDevice::FindEndpoint(uint8_t address) {
  if (!device_) return nullptr;
  if (address == 0) return control_.get();
  for (CCyUSBEndPoint* endpoint : endpoints_) {
    if (!endpoint) throw UsbError(kEndpointHoleFailed);
    if (endpoint->Address == address) return endpoint;
  }
  return nullptr;
}

bool CCyUSBDevice::RunsStandInFirmware() const { return device_ && device_->RunsStandInFirmware(); }
