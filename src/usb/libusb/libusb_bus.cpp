#include "usb/libusb/libusb_bus.h"

#include <libusb.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "device/pod_ids.h"
#include "frame/trace.h"

namespace tqla::usb {
namespace {

bool Matches(const libusb_device_descriptor& d) {
  return (d.idVendor == PodVendorId && d.idProduct == PodProductId) ||
         (d.idVendor == Fx2DefaultVendorId && d.idProduct == Fx2DefaultProductId);
}

TransferStatus StatusOf(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return TransferStatus::Completed;
    case LIBUSB_TRANSFER_CANCELLED: return TransferStatus::Cancelled;
    case LIBUSB_TRANSFER_STALL: return TransferStatus::Stalled;
    case LIBUSB_TRANSFER_NO_DEVICE: return TransferStatus::NoDevice;
    default: return TransferStatus::Error;
  }
}

// One libusb handle per physical device, shared by every device object that
// opens it (the interface can be claimed once per process).
struct SharedHandle {
  libusb_device_handle* handle = nullptr;
  int references = 0;
  bool claimed = false;
  int altSetting = 0;
  std::mutex lock;
  std::set<TransferContext*> pending;
};

class LibusbBackend : public Backend {
 public:
  ~LibusbBackend() override {
    StopEvents();
    if (context_) libusb_exit(context_);
  }

  uint32_t Count() override {
    std::lock_guard<std::mutex> hold(lock_);
    uint32_t count = 0;
    ForEachMatch([&](libusb_device*) {
      ++count;
      return false;
    });
    return count;
  }

  std::unique_ptr<BackendDevice> Open(uint32_t index) override;

  void Unshare(libusb_device* device);
  void StartEvents();

 private:
  // Calls visit for every matching device in bus order until it returns true.
  template <class F>
  void ForEachMatch(F&& visit) {
    if (!Initialised()) return;
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < n; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(list[i], &d) == 0 && Matches(d) && visit(list[i])) break;
    }
    if (list) libusb_free_device_list(list, 1);
  }

  bool Initialised() {
    if (!tried_) {
      tried_ = true;
      if (libusb_init(&context_) != 0) {
        context_ = nullptr;
        Trace("libusb could not start; no real pod can be reached");
      }
    }
    return context_ != nullptr;
  }

  void StopEvents() {
    stopEvents_.store(true);
    if (events_.joinable()) events_.join();
  }

  friend class LibusbDevice;
  std::mutex lock_;
  bool tried_ = false;
  libusb_context* context_ = nullptr;
  std::map<libusb_device*, std::unique_ptr<SharedHandle>> shared_;
  std::thread events_;
  std::atomic<bool> stopEvents_{false};
};

LibusbBackend& backend() {
  static LibusbBackend instance;
  return instance;
}

class LibusbDevice : public BackendDevice {
 public:
  LibusbDevice(libusb_device* device, SharedHandle& shared) : device_(device), shared_(shared) {}

  DeviceDescriptor Descriptor() override {
    libusb_device_descriptor d{};
    libusb_get_device_descriptor(device_, &d);
    return DeviceDescriptor{d.idVendor, d.idProduct, d.bcdDevice,
                            libusb_get_device_speed(device_) >= LIBUSB_SPEED_HIGH};
  }

  std::vector<AltSettingDescriptor> AltSettings() override {
    std::vector<AltSettingDescriptor> settings;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device_, &config) != 0 &&
        libusb_get_config_descriptor(device_, 0, &config) != 0) {
      return settings;
    }
    if (config->bNumInterfaces > 0) {
      const libusb_interface& interface = config->interface[0];
      for (int a = 0; a < interface.num_altsetting; ++a) {
        const libusb_interface_descriptor& alt = interface.altsetting[a];
        AltSettingDescriptor s;
        s.alternateSetting = alt.bAlternateSetting;
        for (int e = 0; e < alt.bNumEndpoints; ++e) {
          const libusb_endpoint_descriptor& ep = alt.endpoint[e];
          s.endpoints.push_back({ep.bEndpointAddress, ep.bmAttributes, ep.wMaxPacketSize});
        }
        settings.push_back(std::move(s));
      }
    }
    libusb_free_config_descriptor(config);
    return settings;
  }

  // Asked of the device once when the handle opens, then tracked, so that
  // checking for the current setting puts nothing on the bus.
  int CurrentAltSetting() override {
    std::lock_guard<std::mutex> hold(shared_.lock);
    return shared_.altSetting;
  }

  bool SelectAltSetting(uint8_t setting) override {
    if (!Claim()) return false;
    if (libusb_set_interface_alt_setting(shared_.handle, 0, setting) != 0) return false;
    std::lock_guard<std::mutex> hold(shared_.lock);
    shared_.altSetting = setting;
    return true;
  }

  bool Control(const SetupPacket& setup, uint8_t* data, uint32_t& transferred, uint32_t timeoutMs) override {
    const int got = libusb_control_transfer(shared_.handle, setup.requestType, setup.request, setup.value,
                                            setup.index, data, setup.length, timeoutMs);
    transferred = got > 0 ? static_cast<uint32_t>(got) : 0;
    return got >= 0;
  }

  bool Prepare(TransferContext& transfer) override {
    libusb_transfer* xfer = libusb_alloc_transfer(0);
    if (!xfer) return false;
    transfer.backendData = new Record{xfer, &shared_};
    return true;
  }

  void Release(TransferContext& transfer) override {
    auto* record = static_cast<Record*>(transfer.backendData);
    if (!record) return;
    libusb_free_transfer(record->xfer);
    delete record;
    transfer.backendData = nullptr;
  }

  void Submit(TransferContext& transfer) override {
    if (!Claim()) {
      transfer.Complete(TransferStatus::Error, 0);
      return;
    }
    libusb_transfer* xfer = XferOf(transfer);
    // No time-out here: the device class bounds every wait and cancels.
    libusb_fill_bulk_transfer(xfer, shared_.handle, transfer.endpoint, transfer.buffer,
                              static_cast<int>(transfer.length), &LibusbDevice::Completed, &transfer, 0);
    {
      std::lock_guard<std::mutex> hold(shared_.lock);
      shared_.pending.insert(&transfer);
    }
    const int error = libusb_submit_transfer(xfer);
    if (error != 0) {
      {
        std::lock_guard<std::mutex> hold(shared_.lock);
        shared_.pending.erase(&transfer);
      }
      transfer.Complete(error == LIBUSB_ERROR_NO_DEVICE ? TransferStatus::NoDevice : TransferStatus::Error, 0);
    }
  }

  void Cancel(TransferContext& transfer) override {
    std::lock_guard<std::mutex> hold(shared_.lock);
    if (shared_.pending.count(&transfer)) libusb_cancel_transfer(XferOf(transfer));
  }

  void CancelEndpoint(uint8_t endpoint) override {
    std::lock_guard<std::mutex> hold(shared_.lock);
    for (TransferContext* t : shared_.pending) {
      if (t->endpoint == endpoint) libusb_cancel_transfer(XferOf(*t));
    }
  }

  bool ClearHalt(uint8_t endpoint) override { return Claim() && libusb_clear_halt(shared_.handle, endpoint) == 0; }

  bool Close() override {
    bool ok = true;
    {
      std::lock_guard<std::mutex> hold(shared_.lock);
      if (shared_.references == 1 && shared_.claimed) {
        const int error = libusb_release_interface(shared_.handle, 0);
        ok = error == 0 || error == LIBUSB_ERROR_NO_DEVICE;
        shared_.claimed = false;
      }
    }
    backend().Unshare(device_);
    return ok;
  }

  bool RunsStandInFirmware() const override { return false; }

 private:
  // The backend's record of one context: its libusb transfer and the handle
  // whose pending set it joins.
  struct Record {
    libusb_transfer* xfer;
    SharedHandle* shared;
  };
  static libusb_transfer* XferOf(TransferContext& t) { return static_cast<Record*>(t.backendData)->xfer; }

  static void LIBUSB_CALL Completed(libusb_transfer* xfer) {
    auto* transfer = static_cast<TransferContext*>(xfer->user_data);
    SharedHandle* shared = static_cast<Record*>(transfer->backendData)->shared;
    {
      std::lock_guard<std::mutex> hold(shared->lock);
      shared->pending.erase(transfer);
    }
    transfer->Complete(StatusOf(xfer->status), static_cast<uint32_t>(std::max(0, xfer->actual_length)));
  }

  bool Claim() {
    std::lock_guard<std::mutex> hold(shared_.lock);
    if (shared_.claimed) return true;
    libusb_set_auto_detach_kernel_driver(shared_.handle, 1);
    const int error = libusb_claim_interface(shared_.handle, 0);
    if (error != 0) {
      Trace("Could not claim the FX2's interface: %s", libusb_error_name(error));
      return false;
    }
    shared_.claimed = true;
    return true;
  }

  libusb_device* device_;
  SharedHandle& shared_;
};

std::unique_ptr<BackendDevice> LibusbBackend::Open(uint32_t index) {
  std::lock_guard<std::mutex> hold(lock_);
  libusb_device* found = nullptr;
  ForEachMatch([&](libusb_device* device) {
    if (index-- != 0) return false;
    found = device;
    return true;
  });
  if (!found) return nullptr;
  auto& shared = shared_[found];
  if (!shared) {
    auto made = std::make_unique<SharedHandle>();
    const int error = libusb_open(found, &made->handle);
    if (error != 0) {
      shared_.erase(found);
      if (error == LIBUSB_ERROR_ACCESS) {
        Trace("No permission to open USB device %03u/%03u: install contrib/60-tqla.rules into "
              "/etc/udev/rules.d, run 'udevadm control --reload', and replug the pod",
              libusb_get_bus_number(found), libusb_get_device_address(found));
      } else {
        Trace("Could not open USB device %03u/%03u: %s", libusb_get_bus_number(found),
              libusb_get_device_address(found), libusb_error_name(error));
      }
      return nullptr;
    }
    libusb_ref_device(found);
    uint8_t setting = 0;
    if (libusb_control_transfer(made->handle, 0x81, 0x0A, 0, 0, &setting, 1, 1000) == 1) {  // GET_INTERFACE
      made->altSetting = setting;
    }
    shared = std::move(made);
    StartEvents();
  }
  ++shared->references;
  return std::make_unique<LibusbDevice>(found, *shared);
}

void LibusbBackend::Unshare(libusb_device* device) {
  std::unique_lock<std::mutex> hold(lock_);
  auto it = shared_.find(device);
  if (it == shared_.end() || --it->second->references > 0) return;
  libusb_close(it->second->handle);
  libusb_unref_device(device);
  shared_.erase(it);
  if (shared_.empty()) {
    hold.unlock();
    StopEvents();
  }
}

// Completions of asynchronous transfers are delivered on this thread while any
// real device is open.
void LibusbBackend::StartEvents() {
  if (events_.joinable()) return;
  stopEvents_.store(false);
  events_ = std::thread([this] {
    timeval tick{0, 100000};
    while (!stopEvents_.load()) libusb_handle_events_timeout_completed(context_, &tick, nullptr);
  });
}

}  // namespace

Backend& LibusbBus() { return backend(); }

}  // namespace tqla::usb
