#include "usb/winusb/winusb_bus.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "frame/trace.h"
#include "platform/windows/error_text.h"
#include "usb/winusb/device_list.h"
#include "usb/winusb/winusb_api.h"
#include "usb/winusb_support.h"

namespace tqla::usb {
namespace {

constexpr ULONG_PTR kQuitKey = 1;
constexpr ULONG kHighSpeed = 3;  // DEVICE_SPEED's answer for a high-speed device

TransferStatus StatusOf(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return TransferStatus::Completed;
    case ERROR_OPERATION_ABORTED: return TransferStatus::Cancelled;
    case ERROR_GEN_FAILURE: return TransferStatus::Stalled;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_COMMAND:
    case ERROR_FILE_NOT_FOUND: return TransferStatus::NoDevice;
    default: return TransferStatus::Error;
  }
}

// One WinUSB handle per controller, shared by every device object that opens
// it: WinUSB lets one handle at a time open a device.
struct SharedHandle {
  HANDLE file = INVALID_HANDLE_VALUE;
  WINUSB_INTERFACE_HANDLE winusb = nullptr;
  int references = 0;
  int altSetting = 0;
  std::mutex lock;
  std::set<TransferContext*> pending;
};

// The backend's record of one context: the OVERLAPPED the completion port
// hands back, and the context and handle it belongs to.
struct Record {
  OVERLAPPED overlapped{};
  TransferContext* transfer = nullptr;
  SharedHandle* shared = nullptr;
};

class WinusbBackend : public Backend {
 public:
  // Devices still open when the library unloads keep the completion thread.
  ~WinusbBackend() override {
    if (completions_.joinable()) completions_.detach();
  }

  uint32_t Count() override {
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<uint32_t>(PresentControllers().size());
  }

  std::unique_ptr<BackendDevice> Open(uint32_t index) override;
  void Unshare(const std::string& instanceId);

 private:
  bool StartCompletions();
  void StopCompletions();
  void CompletionLoop();

  std::mutex lock_;
  std::map<std::string, std::unique_ptr<SharedHandle>> shared_;
  HANDLE port_ = nullptr;
  std::thread completions_;
};

WinusbBackend& backend() {
  static WinusbBackend instance;
  return instance;
}

class WinusbDevice : public BackendDevice {
 public:
  WinusbDevice(std::string instanceId, SharedHandle& shared, const WinusbApi& api)
      : instanceId_(std::move(instanceId)), shared_(shared), api_(api) {}

  DeviceDescriptor Descriptor() override {
    USB_DEVICE_DESCRIPTOR d{};
    ULONG got = 0;
    if (!api_.GetDescriptor(shared_.winusb, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0, reinterpret_cast<UCHAR*>(&d), sizeof d,
                            &got) ||
        got < sizeof d) {
      return {};
    }
    ULONG speed = 0;
    ULONG size = sizeof speed;
    api_.QueryDeviceInformation(shared_.winusb, DEVICE_SPEED, &size, &speed);
    return DeviceDescriptor{d.idVendor, d.idProduct, d.bcdDevice, speed == kHighSpeed};
  }

  std::vector<AltSettingDescriptor> AltSettings() override {
    USB_CONFIGURATION_DESCRIPTOR head{};
    ULONG got = 0;
    if (!api_.GetDescriptor(shared_.winusb, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, reinterpret_cast<UCHAR*>(&head),
                            sizeof head, &got) ||
        got < sizeof head) {
      return {};
    }
    std::vector<uint8_t> whole(head.wTotalLength);
    if (!api_.GetDescriptor(shared_.winusb, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, whole.data(),
                            static_cast<ULONG>(whole.size()), &got)) {
      return {};
    }
    return InterfaceZeroSettings(whole.data(), got);
  }

  // Asked of the device once when the handle opens, then tracked, so that
  // checking for the current setting puts nothing on the bus.
  int CurrentAltSetting() override {
    std::lock_guard<std::mutex> hold(shared_.lock);
    return shared_.altSetting;
  }

  bool SelectAltSetting(uint8_t setting) override {
    if (!api_.SetCurrentAlternateSetting(shared_.winusb, setting)) return false;
    std::lock_guard<std::mutex> hold(shared_.lock);
    shared_.altSetting = setting;
    return true;
  }

  bool Control(const SetupPacket& setup, uint8_t* data, uint32_t& transferred, uint32_t timeoutMs) override {
    ULONG timeout = timeoutMs;
    api_.SetPipePolicy(shared_.winusb, 0, PIPE_TRANSFER_TIMEOUT, sizeof timeout, &timeout);
    WINUSB_SETUP_PACKET packet{setup.requestType, setup.request, setup.value, setup.index, setup.length};
    ULONG moved = 0;
    const bool ok = api_.ControlTransfer(shared_.winusb, packet, data, setup.length, &moved, nullptr);
    transferred = moved;
    return ok;
  }

  bool Prepare(TransferContext& transfer) override {
    auto* record = new Record;
    record->transfer = &transfer;
    record->shared = &shared_;
    transfer.backendData = record;
    return true;
  }

  void Release(TransferContext& transfer) override {
    delete static_cast<Record*>(transfer.backendData);
    transfer.backendData = nullptr;
  }

  // Every request that is accepted completes through the completion port,
  // also one that finishes at once; a refused one completes here.
  void Submit(TransferContext& transfer) override {
    auto* record = static_cast<Record*>(transfer.backendData);
    record->overlapped = OVERLAPPED{};
    {
      std::lock_guard<std::mutex> hold(shared_.lock);
      shared_.pending.insert(&transfer);
    }
    const bool in = (transfer.endpoint & 0x80) != 0;
    const BOOL done = in ? api_.ReadPipe(shared_.winusb, transfer.endpoint, transfer.buffer, transfer.length, nullptr,
                                         &record->overlapped)
                         : api_.WritePipe(shared_.winusb, transfer.endpoint, transfer.buffer, transfer.length,
                                          nullptr, &record->overlapped);
    const DWORD error = done ? ERROR_SUCCESS : GetLastError();
    if (done || error == ERROR_IO_PENDING) return;
    {
      std::lock_guard<std::mutex> hold(shared_.lock);
      shared_.pending.erase(&transfer);
    }
    transfer.Complete(StatusOf(error), 0);
  }

  void Cancel(TransferContext& transfer) override {
    std::lock_guard<std::mutex> hold(shared_.lock);
    if (shared_.pending.count(&transfer))
      CancelIoEx(shared_.file, &static_cast<Record*>(transfer.backendData)->overlapped);
  }

  void CancelEndpoint(uint8_t endpoint) override { api_.AbortPipe(shared_.winusb, endpoint); }

  bool ClearHalt(uint8_t endpoint) override { return api_.ResetPipe(shared_.winusb, endpoint); }

  bool Close() override {
    backend().Unshare(instanceId_);
    return true;
  }

  bool RunsStandInFirmware() const override { return false; }

 private:
  std::string instanceId_;
  SharedHandle& shared_;
  const WinusbApi& api_;
};

std::unique_ptr<BackendDevice> WinusbBackend::Open(uint32_t index) {
  const WinusbApi* api = Winusb();
  if (!api) return nullptr;
  std::lock_guard<std::mutex> hold(lock_);
  const std::vector<PresentDevice> present = PresentControllers();
  if (index >= present.size()) return nullptr;
  const PresentDevice& device = present[index];
  auto& shared = shared_[device.instanceId];
  if (!shared) {
    auto made = std::make_unique<SharedHandle>();
    made->file = CreateFileA(device.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (made->file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      shared_.erase(device.instanceId);
      Trace(error == ERROR_ACCESS_DENIED
                ? "Could not open USB device %s: another program has it open (%s)"
                : "Could not open USB device %s: %s",
            device.instanceId.c_str(), platform::ErrorText(error).c_str());
      return nullptr;
    }
    if (!api->Initialize(made->file, &made->winusb) || !StartCompletions() ||
        !CreateIoCompletionPort(made->file, port_, 0, 0)) {
      Trace("Could not start WinUSB on USB device %s: %s", device.instanceId.c_str(),
            platform::ErrorText(GetLastError()).c_str());
      if (made->winusb) api->Free(made->winusb);
      CloseHandle(made->file);
      shared_.erase(device.instanceId);
      if (shared_.empty()) StopCompletions();
      return nullptr;
    }
    UCHAR setting = 0;
    if (api->GetCurrentAlternateSetting(made->winusb, &setting)) made->altSetting = setting;
    shared = std::move(made);
  }
  ++shared->references;
  return std::make_unique<WinusbDevice>(device.instanceId, *shared, *api);
}

void WinusbBackend::Unshare(const std::string& instanceId) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = shared_.find(instanceId);
  if (it == shared_.end() || --it->second->references > 0) return;
  Winusb()->Free(it->second->winusb);
  CloseHandle(it->second->file);
  shared_.erase(it);
  if (shared_.empty()) StopCompletions();
}

bool WinusbBackend::StartCompletions() {
  if (port_) return true;
  port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (!port_) return false;
  completions_ = std::thread(&WinusbBackend::CompletionLoop, this);
  return true;
}

void WinusbBackend::StopCompletions() {
  if (!port_) return;
  PostQueuedCompletionStatus(port_, 0, kQuitKey, nullptr);
  if (completions_.joinable()) completions_.join();
  CloseHandle(port_);
  port_ = nullptr;
}

// Completions of asynchronous transfers are delivered on this thread while any
// real device is open.
void WinusbBackend::CompletionLoop() {
  for (;;) {
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* overlapped = nullptr;
    const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, INFINITE);
    if (key == kQuitKey) return;
    if (!overlapped) continue;
    auto* record = CONTAINING_RECORD(overlapped, Record, overlapped);
    {
      std::lock_guard<std::mutex> hold(record->shared->lock);
      record->shared->pending.erase(record->transfer);
    }
    record->transfer->Complete(StatusOf(ok ? ERROR_SUCCESS : GetLastError()), bytes);
  }
}

}  // namespace

Backend& WinusbBus() { return backend(); }

}  // namespace tqla::usb
