// Real pods through libusb-1.0: the FX2 controllers with the pod's IDs or
// the chip maker's default FX2 IDs.
#pragma once

#include "usb/usb_backend.h"

namespace tqla::usb {

Backend& LibusbBus();

}  // namespace tqla::usb
