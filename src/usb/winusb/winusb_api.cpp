#include "usb/winusb/winusb_api.h"

#include <mutex>

#include "frame/trace.h"
#include "platform/windows/error_text.h"

namespace tqla::usb {
namespace {

template <class F>
bool Bind(HMODULE module, const char* name, F& into) {
  into = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return into != nullptr;
}

WinusbApi* Load() {
  static WinusbApi api;
  HMODULE module = LoadLibraryA("winusb.dll");
  if (!module) {
    Trace("winusb.dll not loaded (%s); no real pod can be reached", platform::ErrorText(GetLastError()).c_str());
    return nullptr;
  }
  const bool bound = Bind(module, "WinUsb_Initialize", api.Initialize) && Bind(module, "WinUsb_Free", api.Free) &&
                     Bind(module, "WinUsb_GetDescriptor", api.GetDescriptor) &&
                     Bind(module, "WinUsb_QueryDeviceInformation", api.QueryDeviceInformation) &&
                     Bind(module, "WinUsb_GetCurrentAlternateSetting", api.GetCurrentAlternateSetting) &&
                     Bind(module, "WinUsb_SetCurrentAlternateSetting", api.SetCurrentAlternateSetting) &&
                     Bind(module, "WinUsb_SetPipePolicy", api.SetPipePolicy) &&
                     Bind(module, "WinUsb_ControlTransfer", api.ControlTransfer) &&
                     Bind(module, "WinUsb_ReadPipe", api.ReadPipe) && Bind(module, "WinUsb_WritePipe", api.WritePipe) &&
                     Bind(module, "WinUsb_AbortPipe", api.AbortPipe) && Bind(module, "WinUsb_ResetPipe", api.ResetPipe);
  if (!bound) {
    Trace("winusb.dll lacks a function the library needs; no real pod can be reached");
    FreeLibrary(module);
    return nullptr;
  }
  return &api;
}

}  // namespace

const WinusbApi* Winusb() {
  static std::once_flag once;
  static WinusbApi* api = nullptr;
  std::call_once(once, [] { api = Load(); });
  return api;
}

}  // namespace tqla::usb
