// Direct access to an FX2 for hosts: control requests, the vendor request
// 0xA2, bulk transfers on the numbered endpoints, and the mode images.
#include <optional>

#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "frame/export.h"

using namespace tqla;

namespace {

constexpr uint8_t kVendorRequest = 0xA2;
constexpr uint32_t kBulkTimeoutMs = 1000;
constexpr uint32_t kReadyTimeoutMs = 500;

bool ControlResult(bool ok) {
  deviceState.LastTransferResult.store(ok ? 1 : 0);
  return ok;
}

bool ValidEndpointNumber(uint8_t endpoint) {
  return endpoint == 1 || endpoint == 2 || endpoint == 4 || endpoint == 6 || endpoint == 8;
}

bool BulkTransfer(CCyUSBDevice* device, uint8_t address, uint32_t length, uint8_t* buffer) {
  if (!usb::IsLiveDevice(device) || length > INT32_MAX || (length > 0 && !buffer)) return false;
  CCyUSBEndPoint* endpoint = device->FindEndpoint(address);
  if (!endpoint) return false;
  endpoint->Timeout = kBulkTimeoutMs;
  auto count = static_cast<int32_t>(length);
  return endpoint->Transfer(buffer, count);
}

// The mode image for a mode value; none for bits 2-4 of 20, 24 or 28 with bit 0 set.
std::optional<firmware::Image> ModeImage(int32_t mode) {
  using firmware::Image;
  const bool bit0 = mode & 1;
  const bool bit1 = mode & 2;
  const int group = (mode & 0x1C) >> 2;
  if (bit0) {
    if (group > 4) return std::nullopt;
    const int first = static_cast<int>(bit1 ? Image::ModeImage1 : Image::ModeImage6);
    return static_cast<Image>(first + group);
  }
  if (mode & 0x80) return Image::ModeImage11;
  return bit1 ? Image::ModeImage12 : Image::ModeImage13;
}

}  // namespace

extern "C" {

int32_t TQLA_API ControlIn(CCyUSBDevice* device, uint8_t request, uint32_t index, uint32_t value, uint32_t length,
                           uint8_t* buffer) {
  return Guarded<int32_t>("ControlIn", 0, [&] {
    return ControlResult(VendorRequest(device, request, true, value, index, length, buffer)) ? 1 : 0;
  });
}

int32_t TQLA_API ControlOut(uint8_t request, uint32_t index, uint32_t value, uint32_t length, uint8_t* buffer) {
  return Guarded<int32_t>("ControlOut", 0, [&] {
    return ControlResult(VendorRequest(deviceState.USBDeviceDigital, request, false, value, index, length, buffer))
               ? 1
               : 0;
  });
}

int32_t TQLA_API VendorControlIn(CCyUSBDevice* device, uint32_t value, uint32_t index, uint32_t length,
                                 uint8_t* buffer) {
  return Guarded<int32_t>("VendorControlIn", 4, [&] {
    return ControlResult(VendorRequest(device, kVendorRequest, true, value, index, length, buffer)) ? 1 : 4;
  });
}

int32_t TQLA_API VendorControlOut(CCyUSBDevice* device, uint32_t value, uint32_t index, uint32_t length,
                                  uint8_t* buffer) {
  return Guarded<int32_t>("VendorControlOut", 4, [&] {
    TraceText("Sending Write command to EP0");
    if (!ControlResult(VendorRequest(device, kVendorRequest, false, value, index, length, buffer))) return 4;
    TraceText("success");
    return 1;
  });
}

// Endpoint numbers other than 1, 2, 4, 6 and 8 are refused with 0.
int32_t TQLA_API BulkIn(CCyUSBDevice* device, uint8_t endpoint, uint32_t length, uint8_t* buffer) {
  return Guarded<int32_t>("BulkIn", 0, [&] {
    if (!ValidEndpointNumber(endpoint)) return 0;
    return BulkTransfer(device, static_cast<uint8_t>(0x80 | endpoint), length, buffer) ? 1 : 0;
  });
}

// Endpoint numbers other than 1, 2, 4, 6 and 8 are refused with 0.
int32_t TQLA_API BulkOut(uint8_t endpoint, uint32_t length, uint8_t* buffer) {
  return Guarded<int32_t>("BulkOut", 0, [&] {
    if (!ValidEndpointNumber(endpoint)) return 0;
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    if (!digital) return 0;
    if (digital->GetAltSetting() == 0) digital->SelectAltSetting(1);
    return BulkTransfer(digital, endpoint, length, buffer) ? 1 : 0;
  });
}

int32_t TQLA_API SetMode(int32_t mode) {
  return Guarded<int32_t>("SetMode", 0, [&] {
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    if (!digital) return 0;
    digital->SelectAltSetting(1);
    if (const std::optional<firmware::Image> image = ModeImage(mode)) LoadImage(digital, *image);
    uint8_t status = 0;
    int32_t count = 1;
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (CCyUSBEndPoint* ep1 = digital->FindEndpoint(0x81)) {
        ep1->Timeout = kReadyTimeoutMs;
        ep1->Transfer(&status, count);
      }
      deviceState.SignalMask.store(0);
      if (status == 0x55) return 1;
    }
    return 0;
  });
}

}  // extern "C"
