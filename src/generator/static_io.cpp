// Static I/O: a short sequence of values driven out of the pod's 16 lines, or
// read from them, through whatever firmware the host loaded (SetMode). Values
// cross the wire in pin order, two bytes each.
#include <cstring>
#include <vector>

#include "device/device_state.h"
#include "frame/export.h"

using namespace tqla;

namespace {

constexpr uint32_t kMaxSetValues = 16383;
// The reply to a read comes in one request of at most 64 KiB.
constexpr uint32_t kMaxGetValues = 32768;
constexpr uint32_t kReadTimeoutMs = 1000;

uint32_t ToPins(uint32_t channels) {
  const DeviceState& d = deviceState;
  return (d.LowByteUnmap[channels & 0xFF] & 0xFF) | (d.HighByteUnmap[(channels >> 8) & 0xFF] & 0xFF) << 8;
}

uint32_t ToChannels(uint8_t low, uint8_t high) {
  const DeviceState& d = deviceState;
  return d.LowByteMap[low] | static_cast<uint32_t>(d.HighByteMap[high]) << 8;
}

bool SendOn(CCyUSBDevice* device, uint8_t endpoint, uint8_t* bytes, int32_t length) {
  CCyUSBEndPoint* ep = device->FindEndpoint(endpoint);
  if (!ep) return false;
  int32_t moved = length;
  return ep->Transfer(bytes, moved) && moved == length;
}

}  // namespace

extern "C" {

// 0 for more than 16,383 values, values null with a count, no open pod, or a
// failed transfer. A count of 0 sends only the mask (when it changed).
int32_t TQLA_API SetSignals(uint32_t mask, uint32_t count, uint32_t* values) {
  return Guarded<int32_t>("SetSignals", 0, [&]() -> int32_t {
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    if (count > kMaxSetValues || (count > 0 && !values)) {
      Fail("SetSignals: %u values %s", count, count > kMaxSetValues ? "(at most 16,383)" : "and no array");
      return 0;
    }
    if (!PodIsOpen("SetSignals")) return 0;
    const uint32_t pins = ToPins(mask);
    if (pins != deviceState.SignalMask.load()) {
      deviceState.SignalMask.store(pins);
      uint8_t command[4] = {static_cast<uint8_t>(pins), static_cast<uint8_t>(pins >> 8), 0, 0};
      if (!SendOn(digital, 0x01, command, sizeof command)) {
        FailText("SetSignals: the mask command was not sent");
        return 0;
      }
    }
    if (count == 0) return 1;
    std::vector<uint8_t> bytes(2 * count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t v = ToPins(values[i]);
      bytes[2 * i] = static_cast<uint8_t>(v);
      bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    CCyUSBEndPoint* out = digital->FindEndpoint(0x02);
    if (!out) {
      FailText("SetSignals: the Digital FX2 has no endpoint 0x02 (load a mode image first)");
      return 0;
    }
    out->SetTransferSize(65536);
    auto length = static_cast<int32_t>(bytes.size());
    if (out->Transfer(bytes.data(), length) && length == static_cast<int32_t>(bytes.size())) return 1;
    Fail("SetSignals: the values were not sent (%d of %u bytes)", length, 2 * count);
    return 0;
  });
}

// 0 for more than 32,768 values (the reply's 64 KiB), values null with a
// count, no open pod, a failed command or read, or a reply shorter than asked
// (values then untouched).
int32_t TQLA_API GetSignals(uint32_t mask, uint32_t count, uint32_t* values) {
  return Guarded<int32_t>("GetSignals", 0, [&]() -> int32_t {
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    if (count > kMaxGetValues || (count > 0 && !values)) {
      Fail("GetSignals: %u values %s", count, count > kMaxGetValues ? "(at most 32,768)" : "and no array");
      return 0;
    }
    if (!PodIsOpen("GetSignals")) return 0;
    const uint32_t pins = ToPins(mask);
    deviceState.SignalMask.store(pins);
    CCyUSBEndPoint* command = digital->FindEndpoint(0x01);
    if (!command) {
      FailText("GetSignals: the Digital FX2 has no endpoint 0x01 (load a mode image first)");
      return 0;
    }
    command->Timeout = kReadTimeoutMs;
    uint8_t bytes[4] = {static_cast<uint8_t>(pins), static_cast<uint8_t>(pins >> 8), static_cast<uint8_t>(count >> 8),
                        static_cast<uint8_t>(count)};
    int32_t length = sizeof bytes;
    if (!command->Transfer(bytes, length)) {
      FailText("GetSignals: the read command was not sent");
      return 0;
    }
    if (count == 0) return 1;
    CCyUSBEndPoint* in = digital->FindEndpoint(0x86);
    if (!in) {
      FailText("GetSignals: the Digital FX2 has no endpoint 0x86");
      return 0;
    }
    in->SetTransferSize(2 * count);
    in->Timeout = kReadTimeoutMs;
    std::vector<uint8_t> reply(65536);
    int32_t received = static_cast<int32_t>(reply.size());
    if (!in->Transfer(reply.data(), received) || received < static_cast<int32_t>(2 * count)) {
      Fail("GetSignals: %d of %u reply bytes came", received, 2 * count);
      return 0;
    }
    for (uint32_t i = 0; i < count; ++i) values[i] = ToChannels(reply[2 * i], reply[2 * i + 1]);
    return 1;
  });
}

}  // extern "C"
