// The devices the device class sees: real hardware first, then the simulated bus.
#include "sim/sim_bus.h"
#include "usb/hardware_bus.h"
#include "usb/usb_backend.h"

namespace tqla::usb {
namespace {

template <class F>
void ForEachBackend(F&& visit) {
  if (Backend* hardware = HardwareBus(); hardware && visit(*hardware)) return;
  visit(sim::Bus());
}

}  // namespace

uint32_t CountAllDevices() {
  uint32_t total = 0;
  ForEachBackend([&](Backend& backend) {
    total += backend.Count();
    return false;
  });
  return total;
}

std::unique_ptr<BackendDevice> OpenDeviceAt(uint32_t index) {
  std::unique_ptr<BackendDevice> device;
  ForEachBackend([&](Backend& backend) {
    const uint32_t count = backend.Count();
    if (index < count) {
      device = backend.Open(index);
      return true;
    }
    index -= count;
    return false;
  });
  return device;
}

}  // namespace tqla::usb
