// Real pods on Windows: FX2 controllers bound to WinUSB, found through the
// device-interface enumeration of SetupAPI, driven through winusb.dll.
#pragma once

#include "usb/usb_backend.h"

namespace tqla::usb {

Backend& WinusbBus();

}  // namespace tqla::usb
