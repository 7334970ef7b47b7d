#include "usb/hardware_bus.h"

#include "usb/libusb/libusb_bus.h"

namespace tqla::usb {

Backend* HardwareBus() { return &LibusbBus(); }

}  // namespace tqla::usb
