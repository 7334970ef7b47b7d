#include "usb/winusb/device_list.h"

// initguid.h makes the interface GUIDs below definitions instead of references.
#include <windows.h>
#include <initguid.h>
#include <setupapi.h>
#include <usbiodef.h>

#include <cstdio>
#include <memory>

#include "frame/trace.h"
#include "usb/winusb_support.h"

namespace tqla::usb {
namespace {

struct DeviceSetCloser {
  void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceSet = std::unique_ptr<void, DeviceSetCloser>;

DeviceSet PresentInterfaces(const GUID& guid, const char* instanceId) {
  HDEVINFO set = SetupDiGetClassDevsA(&guid, instanceId, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  return DeviceSet(set == INVALID_HANDLE_VALUE ? nullptr : set);
}

std::string RegistryText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  char text[1024] = "";
  if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                         sizeof text - 1, nullptr)) {
    return "";
  }
  return text;  // a multi-string's first entry
}

// The interface path of the index-th interface of guid in set, with its device.
bool InterfacePath(HDEVINFO set, const GUID& guid, DWORD index, std::string& path, SP_DEVINFO_DATA& device) {
  SP_DEVICE_INTERFACE_DATA entry{};
  entry.cbSize = sizeof entry;
  if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &entry)) return false;
  DWORD size = 0;
  SetupDiGetDeviceInterfaceDetailA(set, &entry, nullptr, 0, &size, nullptr);
  if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return false;
  std::unique_ptr<char[]> storage(new char[size]);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.get());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  device = SP_DEVINFO_DATA{};
  device.cbSize = sizeof device;
  if (!SetupDiGetDeviceInterfaceDetailA(set, &entry, detail, size, nullptr, &device)) return false;
  path = detail->DevicePath;
  return true;
}

// "{AE18AA60-7F6A-11D4-97DD-00010229B959}" into guid.
bool ParseGuid(const char* text, GUID& guid) {
  unsigned long data1 = 0;
  unsigned int data2 = 0, data3 = 0, bytes[8] = {};
  if (std::sscanf(text, "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &data1, &data2, &data3, &bytes[0], &bytes[1],
                  &bytes[2], &bytes[3], &bytes[4], &bytes[5], &bytes[6], &bytes[7]) != 11) {
    return false;
  }
  guid.Data1 = data1;
  guid.Data2 = static_cast<unsigned short>(data2);
  guid.Data3 = static_cast<unsigned short>(data3);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<unsigned char>(bytes[i]);
  return true;
}

// A device bound to WinUSB through an INF names its own interface GUID in
// its registry key ("DeviceInterfaceGUIDs", a multi-string, or
// "DeviceInterfaceGUID"); opening that interface reaches WinUSB directly.
// Without one, the USB device interface itself is opened.
std::string WinusbPath(HDEVINFO set, SP_DEVINFO_DATA& device, const std::string& instanceId,
                       const std::string& usbPath) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return usbPath;
  char text[256] = "";
  DWORD size = sizeof text - 1;
  LONG found = RegQueryValueExA(key, "DeviceInterfaceGUIDs", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  if (found != ERROR_SUCCESS) {
    size = sizeof text - 1;
    found = RegQueryValueExA(key, "DeviceInterfaceGUID", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  }
  RegCloseKey(key);
  GUID guid{};
  if (found != ERROR_SUCCESS || !ParseGuid(text, guid)) return usbPath;
  DeviceSet own = PresentInterfaces(guid, instanceId.c_str());
  std::string path;
  SP_DEVINFO_DATA ownDevice{};
  if (own && InterfacePath(own.get(), guid, 0, path, ownDevice)) return path;
  return usbPath;
}

}  // namespace

std::vector<PresentDevice> PresentControllers() {
  std::vector<PresentDevice> found;
  DeviceSet set = PresentInterfaces(GUID_DEVINTERFACE_USB_DEVICE, nullptr);
  if (!set) return found;
  std::string usbPath;
  SP_DEVINFO_DATA device{};
  for (DWORD index = 0; InterfacePath(set.get(), GUID_DEVINTERFACE_USB_DEVICE, index, usbPath, device); ++index) {
    const auto id = ParseHardwareId(RegistryText(set.get(), device, SPDRP_HARDWAREID));
    if (!id || !IsPodController(*id)) continue;
    char instance[512] = "";
    SetupDiGetDeviceInstanceIdA(set.get(), &device, instance, sizeof instance, nullptr);
    const std::string problem = DriverProblem(*id, RegistryText(set.get(), device, SPDRP_SERVICE));
    if (!problem.empty()) {
      Trace("%s (%s)", problem.c_str(), instance);
      continue;
    }
    found.push_back({WinusbPath(set.get(), device, instance, usbPath), instance});
  }
  return found;
}

}  // namespace tqla::usb
