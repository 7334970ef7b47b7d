// The devices the device class sees: real hardware first, then the simulated bus.
#include <array>

#include "sim/sim_bus.h"
#include "usb/usb_backend.h"
#ifdef TQLA_HAVE_LIBUSB
#include "usb/libusb/libusb_bus.h"
#endif

namespace tqla::usb {
namespace {

auto Backends() {
#ifdef TQLA_HAVE_LIBUSB
  return std::array<Backend*, 2>{&LibusbBus(), &sim::Bus()};
#else
  return std::array<Backend*, 1>{&sim::Bus()};
#endif
}

}  // namespace

uint32_t CountAllDevices() {
  uint32_t total = 0;
  for (Backend* backend : Backends()) total += backend->Count();
  return total;
}

std::unique_ptr<BackendDevice> OpenDeviceAt(uint32_t index) {
  for (Backend* backend : Backends()) {
    const uint32_t count = backend->Count();
    if (index < count) return backend->Open(index);
    index -= count;
  }
  return nullptr;
}

}  // namespace tqla::usb
