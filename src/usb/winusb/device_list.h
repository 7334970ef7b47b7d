// The FX2 controllers present on the system that the backend can drive.
#pragma once

#include <string>
#include <vector>

namespace tqla::usb {

struct PresentDevice {
  // The path CreateFile opens for WinUSB.
  std::string path;
  // Windows' own name of the device, the same before and after a replug.
  std::string instanceId;
};

// The controllers with the pod's IDs or a blank FX2's that are bound to
// WinUSB, in the order Windows lists them. Each one bound to another driver
// (or to none) is left out with a trace line saying how to bind WinUSB.
std::vector<PresentDevice> PresentControllers();

}  // namespace tqla::usb
