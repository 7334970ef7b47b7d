// Finding the pods on the USB, opening the two FX2 of one of them, the
// self-test log, and closing.
#include <new>

#include "device/device_state.h"
#include "device/pod_ids.h"
#include "frame/export.h"
#include "frame/log_file.h"

using namespace tqla;

namespace {

bool IsPodFx2(const CCyUSBDevice& device) {
  return device.VendorId == PodVendorId && device.ProductId == PodProductId;
}

// Makes a pod device object if there is none; a failed allocation leaves it null.
void MakeDevice(CCyUSBDevice*& device, const char* trace) {
  if (device) return;
  TraceText(trace);
  device = new (std::nothrow) CCyUSBDevice(true);
}

// A failed open leaves no device object open on some other FX2 it tried.
int32_t OpenFailed(CCyUSBDevice* digital, CCyUSBDevice* analog) {
  if (digital) digital->CloseDevice();
  if (analog) analog->CloseDevice();
  return 0;
}

void FillQueues(uint8_t value) {
  for (int i = 0; i < kQueueSlots; ++i) {
    std::fill_n(digitalQueue.Buffers[i], kQueueSlotBytes, value);
    std::fill_n(analogQueue.Buffers[i], kQueueSlotBytes, value);
  }
}

}  // namespace

extern "C" {

// A null ids only counts the pods.
int32_t TQLA_API EnumerateTQPods(uint32_t* ids) {
  return Guarded<int32_t>("EnumerateTQPods", 0, [&] {
    TraceText("EnumerateTQPods()");
    CCyUSBDevice& usb = USBDevice();
    const int n = usb.CountDevices();
    if (n == 0) return 0;
    Trace("Found %d USB devices attached to the Cypress Driver.", n);
    int found = 0;
    for (int i = 0; i < n; ++i) {
      TraceText("Checking Device IDs");
      usb.OpenDevice(static_cast<uint8_t>(i));
      Trace("Bus Speed = %d", usb.HighSpeed);
      if (IsPodFx2(usb)) {
        TraceText("Found New TQ with proper Vid and Did");
        if (ids) ids[found] = usb.DeviceRelease;
        ++found;
      }
      usb.CloseDevice();
    }
    // Each pod gave one entry per FX2, next to each other; a lone FX2 is dropped.
    if (ids) {
      for (int k = 0; k < found / 2; ++k) ids[k] = ids[2 * k];
    }
    return found / 2;
  });
}

int32_t TQLA_API OpenTQPod(uint32_t id) {
  return Guarded<int32_t>("OpenTQPod", 0, [&] {
    TraceText("OpenTQPod()");
    // Opening closes the FX2s already open: a run still going on them (a
    // generation whose last blocks are draining) ends first.
    EndRunOnPod();
    MakeDevice(deviceState.USBDeviceAnalog, "New USBDeviceAnalog");
    MakeDevice(deviceState.USBDeviceDigital, "New USBDeviceDigital");
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    CCyUSBDevice* analog = deviceState.USBDeviceAnalog;
    if (!digital || !analog) {
      FailText("OpenTQPod: the device objects could not be made");
      return 0;
    }
    const int n = digital->CountDevices();
    TraceText("About to check how many");
    if (n == 0) {
      Fail("OpenTQPod: no USB device to open (pod %u)", id);
      return OpenFailed(digital, analog);
    }
    TraceText("It's not zero");
    auto matches = [&](const CCyUSBDevice& d) { return IsPodFx2(d) && d.DeviceRelease == id; };
    int i = 0;
    for (; i < n; ++i) {
      digital->OpenDevice(static_cast<uint8_t>(i));
      if (matches(*digital)) break;
    }
    if (i == n) {
      Fail("OpenTQPod: no pod with ID %u among %d devices", id, n);
      return OpenFailed(digital, analog);
    }
    TraceText("Opened Handle to the Digital FX2");
    for (int j = i + 1; j < n; ++j) {
      analog->OpenDevice(static_cast<uint8_t>(j));
      if (matches(*analog)) {
        TraceText("Opened Handle to the Analog FX2");
        return 1;
      }
    }
    Fail("OpenTQPod: pod %u has no second FX2 (the Analog FX2) on the bus", id);
    return OpenFailed(digital, analog);
  });
}

int32_t TQLA_API InitializeTQPod(uint32_t id) {
  return Guarded<int32_t>("InitializeTQPod", 0, [&] {
    BuildPinMaps();
    TraceText("InitializeTQPod()");
    if (!OpenTQPod(id)) {
      TraceText("OpenTQPod failed");
      return 0;
    }
    TraceText("OpenTQPod Successful");
    deviceState.USBDeviceDigital->SelectAltSetting(0);
    deviceState.USBDeviceAnalog->SelectAltSetting(0);
    FillQueues(0x69);
    return 1;
  });
}

int32_t TQLA_API InitializeTQExtractor(uint32_t id, uint32_t /*second*/) {
  return Guarded<int32_t>("InitializeTQExtractor", 0, [&] {
    TraceText("InitializeTQExtractor started");
    BuildPinMaps();
    if (!OpenTQPod(id)) return 0;
    TraceText("Open Successful");
    if (deviceState.USBDeviceDigital->CountEndpoints() < 2) {
      TraceText("Setting Interface");
      deviceState.USBDeviceDigital->SelectAltSetting(1);
      TraceText("Interface Set");
    }
    if (deviceState.USBDeviceAnalog->CountEndpoints() > 2) {
      TraceText("Setting Interface");
      deviceState.USBDeviceAnalog->SelectAltSetting(0);
      TraceText("Interface Set");
    }
    FillQueues(0);
    return 1;
  });
}

int32_t TQLA_API TestTQPod(uint32_t* /*ids*/) {
  GuardedVoid("TestTQPod", [&] {
    LogStart();
    LogEntry("TestTQPod()");
    CCyUSBDevice& usb = USBDevice();
    const int n = usb.CountDevices();
    if (n == 0) {
      LogEntry("Found NO USB devices attached to the Cypress Driver.");
      LogEntry("***TEST FAILED*** due to no device detected");
      return;
    }
    LogEntry("Found %d USB devices attached to the Cypress Driver.", n);
    if (n != 2) LogEntry("***TEST FAILED*** due to incorrect number of devices using our driver");
    for (int i = 0; i < n; ++i) {
      LogEntry("Checking Device IDs");
      usb.OpenDevice(static_cast<uint8_t>(i));
      LogEntry("VID = %04X  PID = %04X  DID = %04X", usb.VendorId, usb.ProductId, usb.DeviceRelease);
      if (IsPodFx2(usb)) {
        LogEntry("Found New FX2 with proper Vid and Pid");
        const int count = usb.CountEndpoints();
        LogEntry("Endpoint count = %d", count);
        if (count < 2) {
          LogEntry("Setting Alternate Interface");
          usb.SelectAltSetting(1);
          LogEntry("Endpoint count is now = %d", usb.CountEndpoints());
        }
        if (CCyUSBEndPoint* ep6 = usb.FindEndpoint(0x86)) {
          LogEntry("MaxPktSize = %d", ep6->MaxPktSize);
          if (ep6->MaxPktSize > 200) {
            LogEntry("Found FX2 attached to High Speed Port");
          } else {
            LogEntry("Found FX2 attached to Full Speed Port");
            LogEntry("***TEST FAILED*** due to full speed port usage");
          }
        } else {
          LogEntry("No EP6 found in device");
          LogEntry("***TEST FAILED*** due to no EP6 found in device");
        }
        usb.SelectAltSetting(0);
      } else {
        LogEntry("Found New FX2 with WRONG Vid and Did");
        LogEntry("***TEST FAILED*** due to wrong VID or PID");
      }
      usb.CloseDevice();
    }
  });
  return 1;
}

int32_t TQLA_API StillThere(void) {
  return Guarded<int32_t>("StillThere", 900, [&] {
    if (!deviceState.USBDeviceDigital) return 900;
    return static_cast<int32_t>(deviceState.USBDeviceDigital->CountDevices());
  });
}

int32_t TQLA_API ClosePod(void) {
  GuardedVoid("ClosePod", [&] {
    TraceText("ClosePod");
    EndRunOnPod();
    CCyUSBDevice* analog = deviceState.USBDeviceAnalog;
    CCyUSBDevice* digital = deviceState.USBDeviceDigital;
    deviceState.USBDeviceAnalog = nullptr;
    deviceState.USBDeviceDigital = nullptr;
    delete analog;
    delete digital;
  });
  return 1;
}

CCyUSBDevice* TQLA_API TqlaDigitalDevice(void) { return deviceState.USBDeviceDigital; }

CCyUSBDevice* TQLA_API TqlaAnalogDevice(void) { return deviceState.USBDeviceAnalog; }

}  // extern "C"
