// winusb.dll, loaded when the first device is opened: a host on a system
// without it still loads this library and reaches simulated pods.
#pragma once

#include <windows.h>
#include <winusb.h>

namespace tqla::usb {

struct WinusbApi {
  decltype(&WinUsb_Initialize) Initialize = nullptr;
  decltype(&WinUsb_Free) Free = nullptr;
  decltype(&WinUsb_GetDescriptor) GetDescriptor = nullptr;
  decltype(&WinUsb_QueryDeviceInformation) QueryDeviceInformation = nullptr;
  decltype(&WinUsb_GetCurrentAlternateSetting) GetCurrentAlternateSetting = nullptr;
  decltype(&WinUsb_SetCurrentAlternateSetting) SetCurrentAlternateSetting = nullptr;
  decltype(&WinUsb_SetPipePolicy) SetPipePolicy = nullptr;
  decltype(&WinUsb_ControlTransfer) ControlTransfer = nullptr;
  decltype(&WinUsb_ReadPipe) ReadPipe = nullptr;
  decltype(&WinUsb_WritePipe) WritePipe = nullptr;
  decltype(&WinUsb_AbortPipe) AbortPipe = nullptr;
  decltype(&WinUsb_ResetPipe) ResetPipe = nullptr;
};

// The functions, or null (with a trace line) when winusb.dll is missing.
const WinusbApi* Winusb();

}  // namespace tqla::usb
