// The parts of the WinUSB backend that are plain data handling, kept apart
// from the Windows calls so that every build compiles and tests them: the
// configuration descriptor the device sends, the hardware ID text Windows
// gives a device, and what to tell a user whose pod is bound to another driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "usb/usb_backend.h"

namespace tqla::usb {

// The alternate settings of interface 0 with their endpoints, in descriptor
// order, from a configuration descriptor of length bytes. A descriptor that
// runs past the end or claims a length below 2 ends the walk.
std::vector<AltSettingDescriptor> InterfaceZeroSettings(const uint8_t* config, size_t length);

struct HardwareId {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
};

// The IDs of a hardware ID such as "USB\VID_1209&PID_0001&REV_0007" (letters in
// either case); nothing for text without both.
std::optional<HardwareId> ParseHardwareId(std::string_view text);

// True for the IDs the backend drives: the pod's, and a blank FX2's.
bool IsPodController(const HardwareId& id);

// Empty when service (the driver Windows bound to the device, "" for none) is
// WinUSB; otherwise the line that says what is wrong and how to fix it.
std::string DriverProblem(const HardwareId& id, std::string_view service);

}  // namespace tqla::usb
