#include "device/device_state.h"

#include "device/pin_wiring.h"

namespace tqla {

DeviceState deviceState;
TransferQueue digitalQueue;
TransferQueue analogQueue;

CCyUSBDevice& USBDevice() {
  static CCyUSBDevice device(true);
  return device;
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
