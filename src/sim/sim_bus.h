// The simulated USB bus: simulated pods and plain devices in enumeration
// order, served to the device class as one of its access layers.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/sim_pod.h"
#include "usb/usb_backend.h"

namespace tqla::sim {

class SimBus : public usb::Backend {
 public:
  ~SimBus() override;
  uint32_t Count() override;
  std::unique_ptr<usb::BackendDevice> Open(uint32_t index) override;

  // Unplugs and forgets every simulated device.
  void Reset();
  // Appends a pod (its Digital FX2, then its Analog FX2); returns its handle
  // (1, 2, ...) or 0.
  int32_t AddPod(uint32_t podId);
  // A device that runs no program, at enumeration position (past the end or
  // negative: appended).
  bool AddDevice(uint16_t vendorId, uint16_t productId, uint16_t release, int32_t position);
  // The pod of a handle, or null.
  std::shared_ptr<SimPod> Pod(int32_t handle);
  // Takes the pod's controllers off the bus; their requests fail from now on.
  bool Unplug(int32_t handle);

 private:
  std::mutex lock_;
  std::vector<std::shared_ptr<SimFx2>> devices_;
  std::vector<std::shared_ptr<SimPod>> pods_;
};

SimBus& Bus();

}  // namespace tqla::sim
