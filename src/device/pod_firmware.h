// Loading the named firmware images into an FX2 of the pod.
#pragma once

#include <cstdint>

#include "firmware/firmware.h"
#include "usb/cyusb.h"

namespace tqla {

// DownloadImage of the image meant for device: the stand-in for an emulated
// FX2, the real image otherwise. 0 when the real image is missing.
int32_t LoadImage(CCyUSBDevice* device, firmware::Image image);

// Sets the control endpoint's request fields for a vendor request to the
// device and moves length bytes; false on a dead or closed device.
bool VendorRequest(CCyUSBDevice* device, uint8_t request, bool in, uint32_t value, uint32_t index,
                   uint32_t length, uint8_t* buffer);

}  // namespace tqla
