// Holding the 8051 in reset, writing program images into the FX2's RAM with
// the boot loader's 0xA0 request, and the EEPROM behind vendor request 0xA2.
#include <cstdio>
#include <cstring>

#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "frame/export.h"
#include "platform/regular_file.h"

using namespace tqla;

namespace {

constexpr uint8_t kFirmwareLoad = 0xA0;
constexpr uint16_t kCpuControl = 0xE600;
constexpr uint32_t kBlock = 512;

// One 0xA0 write, its result kept in LastTransferResult.
bool LoadWrite(CCyUSBDevice* device, uint32_t value, uint8_t* data, uint32_t length) {
  const bool ok = VendorRequest(device, kFirmwareLoad, false, value, 0, length, data);
  deviceState.LastTransferResult.store(ok ? 1 : 0);
  return ok;
}

// Writes the first limit bytes of a file in 512-byte blocks from address; the
// last block is padded with zeros.
int32_t DownloadFromFile(CCyUSBDevice* device, uint32_t address, const char* path, uint32_t limit) {
  if (!path) {
    FailText("No program file named");
    return 0;
  }
  FILE* file = OpenRegularFile(path);
  if (!file) {
    Fail("Can not open program file %s", path);
    return 0;
  }
  uint8_t bytes[firmware::kImageBytes] = {};
  const size_t read = std::fread(bytes, 1, limit, file);
  std::fclose(file);
  for (uint32_t offset = 0; offset < read; offset += kBlock) LoadWrite(device, address + offset, bytes + offset, kBlock);
  if (deviceState.LastTransferResult.load() == 1) return 1;
  FailText("The FX2 refused a firmware-load request (0xA0)");
  return 0;
}

}  // namespace

namespace tqla {

bool VendorRequest(CCyUSBDevice* device, uint8_t request, bool in, uint32_t value, uint32_t index,
                   uint32_t length, uint8_t* buffer) {
  if (!usb::IsLiveDevice(device) || !device->ControlEndpoint) return false;
  if (length > 0xFFFF || (length > 0 && !buffer)) return false;
  CCyControlEndPoint& control = *device->ControlEndpoint;
  control.Target = 0;
  control.RequestType = 2;
  control.Request = request;
  control.Value = static_cast<uint16_t>(value);
  control.Index = static_cast<uint16_t>(index);
  auto count = static_cast<int32_t>(length);
  return in ? control.ControlRead(buffer, count) : control.ControlWrite(buffer, count);
}

int32_t LoadImage(CCyUSBDevice* device, firmware::Image image) {
  uint8_t* bytes = device ? firmware::ImageFor(image, device->RunsStandInFirmware()) : nullptr;
  if (!bytes) {
    if (!LastErrorText()[0]) Fail("No %s to load: no pod is open", firmware::ImageName(image));
    return 0;
  }
  return DownloadImage(device, bytes);
}

}  // namespace tqla

extern "C" {

int32_t TQLA_API Reset8051(CCyUSBDevice* device, char hold) {
  return Guarded<int32_t>("Reset8051", 4, [&] {
    auto byte = static_cast<uint8_t>(hold);
    return LoadWrite(device, kCpuControl, &byte, 1) ? 1 : 4;
  });
}

// A null image or device loads nothing and returns 0.
int32_t TQLA_API DownloadImage(CCyUSBDevice* device, uint8_t* image) {
  return Guarded<int32_t>("DownloadImage", 0, [&] {
    if (!image) {
      FailText("DownloadImage: no image");
      return 0;
    }
    TraceText("about to reset the device");
    if (Reset8051(device, 1) != 1) {
      FailText("DownloadImage: the FX2 did not take the CPU reset (no device, or a failed control transfer)");
      return 0;
    }
    TraceText("reset complete");
    for (uint32_t offset = 0; offset < firmware::kImageBytes; offset += kBlock) {
      Trace("download block %d", static_cast<int>(offset));
      LoadWrite(device, offset, image + offset, kBlock);
    }
    if (deviceState.LastTransferResult.load() != 1) {
      FailText("DownloadImage: the FX2 refused a firmware-load request (0xA0)");
      return 0;
    }
    TraceText("letting go of reset");
    if (Reset8051(device, 0) == 1) return 1;
    FailText("DownloadImage: the FX2 did not leave its CPU reset");
    return 0;
  });
}

int32_t TQLA_API DownloadFile(CCyUSBDevice* device, char* path) {
  return Guarded<int32_t>("DownloadFile", 0, [&] { return DownloadFromFile(device, 0, path, 4096); });
}

// Blocks are addressed with the 16-bit request value: an address past 0xFFFF
// wraps as the request carries it.
int32_t TQLA_API DownloadData(CCyUSBDevice* device, uint32_t address, char* path) {
  return Guarded<int32_t>("DownloadData", 0, [&] {
    return DownloadFromFile(device, address, path, firmware::kImageBytes);
  });
}

int32_t TQLA_API DownloadFirmware(CCyUSBDevice* device, char* path) {
  return Guarded<int32_t>("DownloadFirmware", 0, [&] {
    if (Reset8051(device, 1) != 1) return 0;
    if (!DownloadFile(device, path)) return 0;
    return Reset8051(device, 0) == 1 ? 1 : 0;
  });
}

int32_t TQLA_API DownloadFirmwareDigital(char* path) {
  return DownloadFirmware(deviceState.USBDeviceDigital, path);
}

int32_t TQLA_API DownloadDataDigital(uint32_t address, char* path) {
  return Guarded<int32_t>("DownloadDataDigital", 0, [&] {
    CCyUSBDevice* device = deviceState.USBDeviceDigital;
    if (Reset8051(device, 1) != 1) return 0;
    if (!DownloadData(device, address, path)) return 0;
    return Reset8051(device, 0) == 1 ? 1 : 0;
  });
}

// Without an open pod nothing is sent; buffer is then left as it is.
int32_t TQLA_API ReadEEPROM(uint32_t address, uint32_t length, uint8_t* buffer) {
  GuardedVoid("ReadEEPROM", [&] {
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    if (!PodIsOpen("ReadEEPROM")) return;
    LoadImage(digital, firmware::Image::VendorImage);
    if (VendorControlIn(digital, address, 0, length, buffer) != 1) Fail("ReadEEPROM: %u bytes at %u not read", length, address);
  });
  return 0;
}

int32_t TQLA_API WriteEEPROM(uint32_t address, uint32_t length, uint8_t* buffer) {
  GuardedVoid("WriteEEPROM", [&] {
    TraceText("WriteEEPROM");
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    if (!PodIsOpen("WriteEEPROM")) return;
    Trace("retval = %d", LoadImage(digital, firmware::Image::VendorImage));
    if (VendorControlOut(digital, address, 0, length, buffer) != 1) Fail("WriteEEPROM: %u bytes at %u not written", length, address);
  });
  return 0;
}

}  // extern "C"
