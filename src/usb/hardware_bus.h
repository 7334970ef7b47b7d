// The bus of real pods: one backend per platform (libusb-1.0 on Linux, WinUSB
// on Windows), chosen by the build.
#pragma once

#include "usb/usb_backend.h"

namespace tqla::usb {

// The real-hardware backend, or null in a build without one.
Backend* HardwareBus();

}  // namespace tqla::usb
