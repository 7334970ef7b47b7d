#include "usb/libusb/libusb_bus.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "device/pod_ids.h"
#include "frame/trace.h"

namespace tqla::usb {
namespace {

using Clock = std::chrono::steady_clock;

// Bound of the wait for an FX2 that leaves the bus when its first program
// starts to come back with the pod's identity.
constexpr std::chrono::milliseconds kReturnWait{5000};
// Without hot-plug events the bus is scanned again this often while waiting.
constexpr std::chrono::milliseconds kRescanInterval{50};
constexpr uint8_t kFirmwareLoad = 0xA0;
constexpr uint16_t kCpuControl = 0xE600;
constexpr int kMaxPortDepth = 8;

bool IsDefaultFx2(const libusb_device_descriptor& d) {
  return d.idVendor == Fx2DefaultVendorId && d.idProduct == Fx2DefaultProductId;
}

bool IsPodFx2(const libusb_device_descriptor& d) { return d.idVendor == PodVendorId && d.idProduct == PodProductId; }

bool Matches(const libusb_device_descriptor& d) { return IsPodFx2(d) || IsDefaultFx2(d); }

TransferStatus StatusOf(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return TransferStatus::Completed;
    case LIBUSB_TRANSFER_CANCELLED: return TransferStatus::Cancelled;
    case LIBUSB_TRANSFER_STALL: return TransferStatus::Stalled;
    case LIBUSB_TRANSFER_NO_DEVICE: return TransferStatus::NoDevice;
    default: return TransferStatus::Error;
  }
}

// Where a device sits: its bus and the hub ports that lead to it. The same
// place holds the same controller when it re-enumerates.
struct Place {
  uint8_t bus = 0;
  std::vector<uint8_t> ports;
  auto operator<=>(const Place&) const = default;
};

Place PlaceOf(libusb_device* device) {
  Place place;
  place.bus = libusb_get_bus_number(device);
  uint8_t ports[kMaxPortDepth];
  const int depth = libusb_get_port_numbers(device, ports, kMaxPortDepth);
  if (depth > 0) place.ports.assign(ports, ports + depth);
  return place;
}

// One libusb handle per physical device, shared by every device object that
// opens it (the interface can be claimed once per process). When the device
// re-enumerates, the handle moves to its new self.
struct SharedHandle {
  libusb_device* device = nullptr;
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
    if (context_) {
      if (hotplugRegistered_) libusb_hotplug_deregister_callback(context_, hotplug_);
      libusb_exit(context_);
    }
  }

  uint32_t Count() override {
    std::lock_guard<std::mutex> hold(lock_);
    uint32_t count = 0;
    ForEachMatch([&](libusb_device*, const libusb_device_descriptor&) {
      ++count;
      return false;
    });
    return count;
  }

  std::unique_ptr<BackendDevice> Open(uint32_t index) override;

  void Unshare(SharedHandle& shared);
  // Waits, bounded, for a controller with the pod's IDs at place; moves the
  // shared handle to it. False when none came in time.
  bool FollowReturn(SharedHandle& shared, const Place& place);

 private:
  // Moves shared to a pod controller at place; nullopt while none is there.
  std::optional<bool> MoveToReturned(SharedHandle& shared, const Place& place);

  // Calls visit for every matching device, ordered by bus and port, until it
  // returns true. libusb lists devices newest first, so its own order changes
  // as devices come and go; the place on the bus does not.
  template <class F>
  void ForEachMatch(F&& visit) {
    if (!Initialised()) return;
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context_, &list);
    struct Entry {
      Place place;
      libusb_device* device;
      libusb_device_descriptor descriptor;
    };
    std::vector<Entry> matches;
    for (ssize_t i = 0; i < n; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(list[i], &d) == 0 && Matches(d)) matches.push_back({PlaceOf(list[i]), list[i], d});
    }
    std::sort(matches.begin(), matches.end(), [](const Entry& a, const Entry& b) { return a.place < b.place; });
    for (const Entry& e : matches) {
      if (visit(e.device, e.descriptor)) break;
    }
    if (list) libusb_free_device_list(list, 1);
  }

  bool Initialised() {
    if (!tried_) {
      tried_ = true;
      if (libusb_init(&context_) != 0) {
        context_ = nullptr;
        Trace("libusb could not start; no real pod can be reached");
      } else {
        WatchArrivals();
        StartEvents();
      }
    }
    return context_ != nullptr;
  }

  // Arrivals and departures wake the waits for a controller that re-enumerates
  // and show in the trace. Without hot-plug support the bus is scanned again
  // at every enumeration and at intervals during such a wait.
  void WatchArrivals() {
    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
      Trace("libusb has no hot-plug events here; the bus is scanned again instead");
      return;
    }
    const int error = libusb_hotplug_register_callback(
        context_, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, 0, LIBUSB_HOTPLUG_MATCH_ANY,
        LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, &LibusbBackend::BusChanged, this, &hotplug_);
    hotplugRegistered_ = error == 0;
  }

  static int LIBUSB_CALL BusChanged(libusb_context*, libusb_device* device, libusb_hotplug_event event, void* self) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(device, &d) == 0 && Matches(d)) {
      Trace("FX2 %04X:%04X %s at bus %03u address %03u", d.idVendor, d.idProduct,
            event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? "arrived" : "left", libusb_get_bus_number(device),
            libusb_get_device_address(device));
    }
    auto* backend = static_cast<LibusbBackend*>(self);
    {
      std::lock_guard<std::mutex> hold(backend->changeLock_);
      ++backend->changes_;
    }
    backend->changed_.notify_all();
    return 0;
  }

  // Completions and hot-plug events are delivered on this thread for as long
  // as libusb runs. It keeps normal priority: it spends its time waiting in
  // libusb for the bus, and a time-critical thread there would crowd out the
  // host's own requests on the same device wherever a node's requests take
  // turns (as under the usbfs emulation the tests use).
  void StartEvents() {
    events_ = std::thread([this] {
      timeval tick{0, 100000};
      while (!stopEvents_.load()) libusb_handle_events_timeout_completed(context_, &tick, nullptr);
    });
  }

  void StopEvents() {
    stopEvents_.store(true);
    if (events_.joinable()) events_.join();
  }

  friend class LibusbDevice;
  std::mutex lock_;
  bool tried_ = false;
  libusb_context* context_ = nullptr;
  libusb_hotplug_callback_handle hotplug_ = 0;
  bool hotplugRegistered_ = false;
  std::map<libusb_device*, std::unique_ptr<SharedHandle>> shared_;
  std::thread events_;
  std::atomic<bool> stopEvents_{false};
  std::mutex changeLock_;
  std::condition_variable changed_;
  uint64_t changes_ = 0;
};

LibusbBackend& backend() {
  static LibusbBackend instance;
  return instance;
}

class LibusbDevice : public BackendDevice {
 public:
  explicit LibusbDevice(SharedHandle& shared) : shared_(shared) {}

  DeviceDescriptor Descriptor() override {
    libusb_device_descriptor d{};
    libusb_get_device_descriptor(shared_.device, &d);
    return DeviceDescriptor{d.idVendor, d.idProduct, d.bcdDevice,
                            libusb_get_device_speed(shared_.device) >= LIBUSB_SPEED_HIGH};
  }

  std::vector<AltSettingDescriptor> AltSettings() override {
    std::vector<AltSettingDescriptor> settings;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(shared_.device, &config) != 0 &&
        libusb_get_config_descriptor(shared_.device, 0, &config) != 0) {
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
    libusb_device_descriptor before{};
    libusb_get_device_descriptor(shared_.device, &before);
    const int got = libusb_control_transfer(shared_.handle, setup.requestType, setup.request, setup.value,
                                            setup.index, data, setup.length, timeoutMs);
    transferred = got > 0 ? static_cast<uint32_t>(got) : 0;
    // An FX2 still on the chip maker's IDs leaves the bus once the program it
    // was given starts, and comes back as the pod's controller.
    const bool started = got == 1 && (setup.requestType & 0x80) == 0 && setup.request == kFirmwareLoad &&
                         setup.value == kCpuControl && data && data[0] == 0;
    if (started && IsDefaultFx2(before)) {
      const Place place = PlaceOf(shared_.device);
      reenumerated_ = backend().FollowReturn(shared_, place);
    }
    return got >= 0;
  }

  bool TakeReenumerated() override {
    const bool moved = reenumerated_;
    reenumerated_ = false;
    return moved;
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
    backend().Unshare(shared_);
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

  SharedHandle& shared_;
  bool reenumerated_ = false;
};

// The setting a freshly opened handle's device is at, asked of the device.
int AskAltSetting(libusb_device_handle* handle) {
  uint8_t setting = 0;
  constexpr uint8_t kGetInterface = 0x0A;
  return libusb_control_transfer(handle, 0x81, kGetInterface, 0, 0, &setting, 1, 1000) == 1 ? setting : 0;
}

std::unique_ptr<BackendDevice> LibusbBackend::Open(uint32_t index) {
  std::lock_guard<std::mutex> hold(lock_);
  libusb_device* found = nullptr;
  ForEachMatch([&](libusb_device* device, const libusb_device_descriptor&) {
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
    made->device = libusb_ref_device(found);
    made->altSetting = AskAltSetting(made->handle);
    shared = std::move(made);
  }
  ++shared->references;
  return std::make_unique<LibusbDevice>(*shared);
}

void LibusbBackend::Unshare(SharedHandle& shared) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = shared_.find(shared.device);
  if (it == shared_.end() || --it->second->references > 0) return;
  libusb_close(it->second->handle);
  libusb_unref_device(it->second->device);
  shared_.erase(it);
}

bool LibusbBackend::FollowReturn(SharedHandle& shared, const Place& place) {
  const auto deadline = Clock::now() + kReturnWait;
  while (true) {
    uint64_t seen = 0;
    {
      std::lock_guard<std::mutex> hold(changeLock_);
      seen = changes_;
    }
    if (std::optional<bool> moved = MoveToReturned(shared, place)) return *moved;
    if (Clock::now() >= deadline) break;
    std::unique_lock<std::mutex> wait(changeLock_);
    changed_.wait_for(wait, std::min<Clock::duration>(kRescanInterval, deadline - Clock::now()),
                      [&] { return changes_ != seen; });
  }
  Trace("FX2 did not come back with the pod's IDs within %d ms of its program starting",
        static_cast<int>(kReturnWait.count()));
  return false;
}

std::optional<bool> LibusbBackend::MoveToReturned(SharedHandle& shared, const Place& place) {
  std::lock_guard<std::mutex> hold(lock_);
  libusb_device* back = nullptr;
  ForEachMatch([&](libusb_device* device, const libusb_device_descriptor& d) {
    if (device == shared.device || !IsPodFx2(d) || PlaceOf(device) != place) return false;
    back = device;
    return true;
  });
  if (!back || shared_.count(back)) return std::nullopt;
  libusb_device_handle* handle = nullptr;
  const int error = libusb_open(back, &handle);
  if (error != 0) {
    Trace("Could not open the FX2 that came back: %s", libusb_error_name(error));
    return false;
  }
  auto entry = shared_.extract(shared.device);
  {
    std::lock_guard<std::mutex> holdShared(shared.lock);
    libusb_close(shared.handle);
    libusb_unref_device(shared.device);
    shared.device = libusb_ref_device(back);
    shared.handle = handle;
    shared.claimed = false;
    shared.altSetting = AskAltSetting(handle);
  }
  entry.key() = back;
  shared_.insert(std::move(entry));
  Trace("FX2 came back as %04X:%04X at bus %03u address %03u", PodVendorId, PodProductId, place.bus,
        libusb_get_device_address(back));
  return true;
}

}  // namespace

Backend& LibusbBus() { return backend(); }

}  // namespace tqla::usb
