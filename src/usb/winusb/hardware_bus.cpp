#include "usb/hardware_bus.h"

#include "usb/winusb/winusb_bus.h"

namespace tqla::usb {

Backend* HardwareBus() { return &WinusbBus(); }

}  // namespace tqla::usb
