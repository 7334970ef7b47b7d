#include "sim/sim_bus.h"

#include <algorithm>

namespace tqla::sim {
namespace {

// One open simulated controller; keeps its pod alive while open.
class SimHandle : public usb::BackendDevice {
 public:
  explicit SimHandle(std::shared_ptr<SimFx2> fx2) : fx2_(std::move(fx2)) {}
  usb::DeviceDescriptor Descriptor() override { return fx2_->Descriptor(); }
  std::vector<usb::AltSettingDescriptor> AltSettings() override { return fx2_->AltSettings(); }
  int CurrentAltSetting() override { return fx2_->CurrentAltSetting(); }
  bool SelectAltSetting(uint8_t setting) override { return fx2_->SelectAltSetting(setting); }
  bool Control(const usb::SetupPacket& setup, uint8_t* data, uint32_t& transferred, uint32_t) override {
    return fx2_->Control(setup, data, transferred);
  }
  void Submit(usb::TransferContext& transfer) override { fx2_->Submit(transfer); }
  void Cancel(usb::TransferContext& transfer) override { fx2_->Cancel(transfer); }
  void CancelEndpoint(uint8_t endpoint) override { fx2_->CancelEndpoint(endpoint); }
  bool ClearHalt(uint8_t endpoint) override { return fx2_->ClearHalt(endpoint); }
  bool Close() override { return true; }
  bool RunsStandInFirmware() const override { return true; }

 private:
  std::shared_ptr<SimFx2> fx2_;
};

}  // namespace

SimBus::~SimBus() { Reset(); }

uint32_t SimBus::Count() {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<uint32_t>(devices_.size());
}

std::unique_ptr<usb::BackendDevice> SimBus::Open(uint32_t index) {
  std::lock_guard<std::mutex> hold(lock_);
  if (index >= devices_.size()) return nullptr;
  return std::make_unique<SimHandle>(devices_[index]);
}

void SimBus::Reset() {
  std::vector<std::shared_ptr<SimFx2>> devices;
  std::vector<std::shared_ptr<SimPod>> pods;
  {
    std::lock_guard<std::mutex> hold(lock_);
    devices.swap(devices_);
    pods.swap(pods_);
  }
  for (auto& device : devices) {
    device->Unplug();
    device->Shutdown();
  }
}

int32_t SimBus::AddPod(uint32_t podId) {
  auto pod = std::make_shared<SimPod>(podId);
  std::lock_guard<std::mutex> hold(lock_);
  // The controllers share their pod's lifetime.
  devices_.push_back(std::shared_ptr<SimFx2>(pod, &pod->Digital()));
  devices_.push_back(std::shared_ptr<SimFx2>(pod, &pod->Analog()));
  pods_.push_back(pod);
  return static_cast<int32_t>(pods_.size());
}

bool SimBus::AddDevice(uint16_t vendorId, uint16_t productId, uint16_t release, int32_t position) {
  auto device = std::make_shared<SimFx2>(nullptr, false, vendorId, productId, release);
  std::lock_guard<std::mutex> hold(lock_);
  if (devices_.size() >= 255) return false;
  const size_t at = position < 0 ? devices_.size() : std::min<size_t>(static_cast<size_t>(position), devices_.size());
  devices_.insert(devices_.begin() + static_cast<ptrdiff_t>(at), device);
  return true;
}

std::shared_ptr<SimPod> SimBus::Pod(int32_t handle) {
  std::lock_guard<std::mutex> hold(lock_);
  if (handle < 1 || static_cast<size_t>(handle) > pods_.size()) return nullptr;
  return pods_[static_cast<size_t>(handle) - 1];
}

bool SimBus::Unplug(int32_t handle) {
  std::shared_ptr<SimPod> pod = Pod(handle);
  if (!pod) return false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    std::erase_if(devices_, [&](const std::shared_ptr<SimFx2>& d) {
      return d.get() == &pod->Digital() || d.get() == &pod->Analog();
    });
  }
  pod->Digital().Unplug();
  pod->Analog().Unplug();
  return true;
}

SimBus& Bus() {
  static SimBus bus;
  return bus;
}

}  // namespace tqla::sim
