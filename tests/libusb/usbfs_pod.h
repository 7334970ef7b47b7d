// Simulated pods on an emulated Linux USB bus: each FX2 gets a sysfs entry
// and a usbfs device node whose ioctls are answered by the simulated pod's
// FX2 model, so the libusb backend runs unchanged against the same emulated
// controllers that the simulated backend uses. The process must run with the
// device-emulation preload library (see RunUnderEmulation).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/sim_pod.h"

namespace tqla::test {

// Starts the process again with the emulation's preload library when it is
// not loaded yet. Returns false, with the reason in why, when the emulation
// cannot run; the emulated bus is then unavailable.
bool RunUnderEmulation(int argc, char** argv, std::string& why);

// A pod on the emulated bus: its handle there and the model behind its nodes.
struct UsbfsPod {
  int handle = 0;
  std::shared_ptr<sim::SimPod> model;
};

struct UsbfsStats {
  uint64_t submitted = 0;    // bulk requests
  uint64_t discarded = 0;    // bulk requests the host cancelled
  uint32_t maxInFlight = 0;  // most bulk requests queued on one endpoint at once
  uint32_t inFlight = 0;     // bulk requests queued now
};

enum class Fx2 { Digital, Analog };

class UsbfsBus {
 public:
  // The one emulated bus of the process; it must exist before the library
  // first looks at the USB.
  static UsbfsBus& Get();
  ~UsbfsBus();

  // Plugs in a pod. With defaultIds its controllers enumerate with the chip
  // maker's default FX2 IDs until their first program starts; then each
  // leaves the bus and comes back with the pod's IDs and pod ID, or with
  // neverReturns stays away.
  UsbfsPod AddPod(uint32_t podId, bool defaultIds = false, bool neverReturns = false);
  // Plugs in a device of another kind, which answers no request.
  void AddDevice(uint16_t vendorId, uint16_t productId, uint16_t release);
  // Takes a pod off the bus: every request on its nodes fails with ENODEV,
  // requests in flight end as the kernel ends them on a disconnect, and the
  // bus announces the removal.
  void Unplug(const UsbfsPod& pod);
  // Takes every device off the bus.
  void Clear();

  // The file behind an FX2's device node in the emulated tree.
  std::string NodeFile(const UsbfsPod& pod, Fx2 fx2);
  // Bulk traffic of an FX2's current node.
  UsbfsStats Stats(const UsbfsPod& pod, Fx2 fx2);

  struct State;

 private:
  UsbfsBus();
  std::unique_ptr<State> state_;
};

}  // namespace tqla::test
