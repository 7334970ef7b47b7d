#include "device/device_state.h"

#include "frame/trace.h"
#include "tqla/tqla_ext.h"

#include "device/pin_wiring.h"

namespace tqla {

DeviceState deviceState;
TransferQueue digitalQueue;
TransferQueue analogQueue;

CCyUSBDevice& USBDevice() {
  static CCyUSBDevice device(true);
  return device;
}

namespace {
RunEnder runEnder = nullptr;
}  // namespace

void SetRunEnder(RunEnder ender) { runEnder = ender; }

void EndRunOnPod() {
  if (runEnder) runEnder();
}

bool PodIsOpen(const char* what) {
  const DeviceState& d = deviceState;
  if (d.USBDeviceDigital && d.USBDeviceAnalog && d.USBDeviceDigital->IsOpen() && d.USBDeviceAnalog->IsOpen()) {
    return true;
  }
  Fail("%s: no pod is open (OpenTQPod or InitializeTQPod first)", what);
  return false;
}

void BuildPinMaps() {
  for (int v = 0; v < 256; ++v) {
    const auto raw = static_cast<uint8_t>(v);
    deviceState.LowByteMap[v] = MapPortByte(kLowPortBitToChannel, raw);
    deviceState.HighByteMap[v] = MapPortByte(kHighPortBitToChannel, raw);
    deviceState.LowByteUnmap[deviceState.LowByteMap[v]] = raw;
    deviceState.HighByteUnmap[deviceState.HighByteMap[v]] = raw;
  }
}

}  // namespace tqla

extern "C" {

int32_t TQLA_API TqlaLastTransferResult(void) { return static_cast<int32_t>(tqla::deviceState.LastTransferResult.load()); }

int32_t TQLA_API TqlaDeviceHighSpeed(CCyUSBDevice* device) {
  if (!device || !device->IsOpen()) return -1;
  return device->HighSpeed ? 1 : 0;
}

}  // extern "C"
