// The device class every part of the library reaches the pod through: one
// object per FX2 controller with its endpoint objects, over whichever USB
// access layer holds the device.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "usb/usb_backend.h"

struct CCyUSBDevice;

namespace tqla::usb {

// The errors the class raises instead of returning a result.
class UsbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr const char* kCloseHandleFailed = "Failed to close handle to driver.";
constexpr const char* kEndpointHoleFailed = "Failed to find endpoint.";

// True when device is a live object of this class (hosts hand pointers back).
bool IsLiveDevice(const ::CCyUSBDevice* device);

}  // namespace tqla::usb

class CCyUSBEndPoint {
 public:
  uint8_t Address = 0;
  uint8_t Attributes = 0;
  uint16_t MaxPktSize = 0;
  // Wait limit of Transfer in milliseconds.
  uint32_t Timeout = 10000;

  virtual ~CCyUSBEndPoint();
  CCyUSBEndPoint(const CCyUSBEndPoint&) = delete;
  CCyUSBEndPoint& operator=(const CCyUSBEndPoint&) = delete;

  // Synchronous transfer of length bytes; length receives the count moved.
  // On time-out the request is cancelled and its end awaited before returning false.
  virtual bool Transfer(uint8_t* buffer, int32_t& length);

  // Queues an asynchronous transfer signalled through overlapped; the context
  // goes to FinishTransfer. Null when the device is closed or the arguments are
  // unusable (overlapped is then signalled so that a wait does not stall).
  tqla::usb::TransferContext* BeginTransfer(uint8_t* buffer, int32_t length,
                                             tqla::usb::Overlapped* overlapped);
  // True when the request is complete or completes within timeoutMs.
  bool WaitTransfer(tqla::usb::Overlapped* overlapped, uint32_t timeoutMs);
  // Ends a queued transfer (cancelling it first if it is still pending), copies
  // IN data into buffer when that is not where it went, and frees the context.
  bool FinishTransfer(uint8_t* buffer, int32_t& length, tqla::usb::Overlapped* overlapped,
                      tqla::usb::TransferContext* context);
  // Cancels every request pending on the endpoint.
  void AbortTransfers();
  // Clears the endpoint's halt and data toggle.
  bool ResetEndpoint();
  // The transfer size, rounded up to whole packets.
  void SetTransferSize(uint32_t bytes);
  uint32_t GetTransferSize() const { return transferSize_; }

 protected:
  friend struct CCyUSBDevice;
  CCyUSBEndPoint(CCyUSBDevice& owner, const tqla::usb::EndpointDescriptor& descriptor);
  bool Usable() const;

  CCyUSBDevice& owner_;

 private:
  tqla::usb::TransferContext* TakeContext();
  void ReturnContext(tqla::usb::TransferContext* context);
  // Cancels one request and waits, bounded, for its completion.
  bool CancelAndWait(tqla::usb::TransferContext& context);
  // Called by the device before the backend handle goes away.
  void Shutdown();

  uint32_t transferSize_ = 0;
  std::mutex poolLock_;
  std::vector<std::unique_ptr<tqla::usb::TransferContext>> contexts_;
  std::vector<tqla::usb::TransferContext*> free_;
  tqla::usb::Overlapped syncEvent_;
};

// The control endpoint: the request fields are set before each transfer and
// make the setup packet.
class CCyControlEndPoint : public CCyUSBEndPoint {
 public:
  uint8_t Target = 0;       // 0 device, 1 interface, 2 endpoint
  uint8_t RequestType = 2;  // 2 vendor
  uint8_t Direction = 0;    // 0 host to device, 1 device to host
  uint8_t Request = 0;
  uint16_t Value = 0;
  uint16_t Index = 0;

  bool Transfer(uint8_t* buffer, int32_t& length) override;
  bool ControlRead(uint8_t* buffer, int32_t& length);
  bool ControlWrite(uint8_t* buffer, int32_t& length);

 private:
  friend struct CCyUSBDevice;
  explicit CCyControlEndPoint(CCyUSBDevice& owner);
};

struct CCyUSBDevice {
 public:
  uint16_t VendorId = 0;
  uint16_t ProductId = 0;
  uint16_t DeviceRelease = 0;
  uint8_t HighSpeed = 0;
  // Null while the device is closed.
  CCyControlEndPoint* ControlEndpoint = nullptr;

  // With open set, opens device 0 as OpenDevice(0) does; a missing device
  // leaves the object closed.
  explicit CCyUSBDevice(bool open = true);
  ~CCyUSBDevice();
  CCyUSBDevice(const CCyUSBDevice&) = delete;
  CCyUSBDevice& operator=(const CCyUSBDevice&) = delete;

  // Devices present on every USB access layer (0 to 255).
  uint8_t CountDevices();
  bool OpenDevice(uint8_t index);
  void CloseDevice();
  bool IsOpen() const { return device_ != nullptr; }
  // 255 when closed or when the query fails.
  uint8_t GetAltSetting();
  bool SelectAltSetting(uint8_t setting);
  // Endpoints of the current setting plus the control endpoint; 0 when closed.
  uint8_t CountEndpoints();
  // Address 0 gives the control endpoint; null when there is no such endpoint.
  CCyUSBEndPoint* FindEndpoint(uint8_t address);
  // Whether the firmware images this device may run are the stand-ins.
  bool RunsStandInFirmware() const;

 private:
  friend class CCyUSBEndPoint;
  friend class CCyControlEndPoint;
  void RebuildEndpoints(int setting);
  // The identity, settings and endpoints of the open device, as it shows now.
  void ReadDescriptors();

  std::unique_ptr<tqla::usb::BackendDevice> device_;
  std::vector<tqla::usb::AltSettingDescriptor> settings_;
  int currentSetting_ = -1;
  std::unique_ptr<CCyControlEndPoint> control_;
  // Endpoint objects stay put across alternate settings so that pointers a
  // transfer thread holds remain valid until the device closes.
  std::map<uint8_t, std::unique_ptr<CCyUSBEndPoint>> endpointPool_;
  // The current setting's endpoints; a null entry is a hole in the list.
  std::vector<CCyUSBEndPoint*> endpoints_;
};
