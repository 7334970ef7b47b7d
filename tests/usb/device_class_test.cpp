#include <cstring>

#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "sim_support.h"

using namespace tqla;
using namespace tqla::test;

namespace {

using DeviceClass = SimBusTest;

// Loads a streaming image and starts its samples with the GO command.
void StartStream(CCyUSBDevice& device, firmware::Image image, uint8_t divisor) {
  device.SelectAltSetting(1);
  ASSERT_EQ(LoadImage(&device, image), 1);
  uint8_t status = 0;
  int32_t one = 1;
  ASSERT_TRUE(device.FindEndpoint(0x81)->Transfer(&status, one));
  ASSERT_EQ(status, 0x55);
  uint8_t go[2] = {1, divisor};
  int32_t two = 2;
  ASSERT_TRUE(device.FindEndpoint(0x01)->Transfer(go, two));
}

TEST_F(DeviceClass, ClosedDeviceGivesTheDocumentedResults) {
  CCyUSBDevice device(true);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(device.CountDevices(), 0);
  EXPECT_EQ(device.CountEndpoints(), 0);
  EXPECT_EQ(device.GetAltSetting(), 255);
  EXPECT_FALSE(device.SelectAltSetting(0));
  EXPECT_EQ(device.FindEndpoint(0), nullptr);
  EXPECT_EQ(device.ControlEndpoint, nullptr);

  TqlaSimAddPod(7);
  EXPECT_FALSE(device.OpenDevice(device.CountDevices()));
  EXPECT_FALSE(device.IsOpen());
  ASSERT_TRUE(device.OpenDevice(1));
  CCyUSBEndPoint* control = device.FindEndpoint(0);
  EXPECT_EQ(control, device.ControlEndpoint);
  device.CloseDevice();
  EXPECT_EQ(device.VendorId, 0);
}

TEST_F(DeviceClass, AlternateSettingsAndEndpoints) {
  TqlaSimAddPod(0x1234);
  CCyUSBDevice device(true);
  ASSERT_TRUE(device.IsOpen());
  EXPECT_EQ(device.DeviceRelease, 0x1234);
  EXPECT_EQ(device.HighSpeed, 1);
  EXPECT_EQ(device.GetAltSetting(), 0);
  EXPECT_EQ(device.CountEndpoints(), 1);
  EXPECT_EQ(device.FindEndpoint(0x86), nullptr);
  EXPECT_TRUE(device.SelectAltSetting(0));
  EXPECT_FALSE(device.SelectAltSetting(2));
  ASSERT_TRUE(device.SelectAltSetting(1));
  EXPECT_EQ(device.CountEndpoints(), 7);
  CCyUSBEndPoint* ep6 = device.FindEndpoint(0x86);
  ASSERT_NE(ep6, nullptr);
  EXPECT_EQ(ep6->MaxPktSize, 512);
  EXPECT_EQ(ep6->Timeout, 10000u);
  EXPECT_EQ(device.FindEndpoint(0x81)->MaxPktSize, 64);
  ep6->SetTransferSize(1000);
  EXPECT_EQ(ep6->GetTransferSize(), 1024u);
  // Endpoint objects stay valid across settings.
  ASSERT_TRUE(device.SelectAltSetting(0));
  ASSERT_TRUE(device.SelectAltSetting(1));
  EXPECT_EQ(device.FindEndpoint(0x86), ep6);
}

TEST_F(DeviceClass, SetupPacketComesFromTheRequestFields) {
  const int32_t pod = TqlaSimAddPod(7);
  CCyUSBDevice device(true);
  CCyControlEndPoint& control = *device.ControlEndpoint;
  control.Target = 2;
  control.RequestType = 2;
  control.Request = 0xA0;
  control.Value = 0x0010;
  control.Index = 0x0003;
  uint8_t bytes[3] = {};
  int32_t length = 3;
  EXPECT_TRUE(control.ControlRead(bytes, length));
  EXPECT_EQ(length, 3);
  control.Target = 0;
  control.RequestType = 1;  // class requests are not the pod's
  EXPECT_FALSE(control.ControlWrite(bytes, length));
  const auto log = ControlLog(pod, TQLA_SIM_DIGITAL);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].setup.requestType, 0xC2);
  EXPECT_EQ(log[0].setup.value, 0x10);
  EXPECT_EQ(log[0].setup.index, 3);
  EXPECT_EQ(log[0].setup.length, 3);
  EXPECT_EQ(log[1].setup.requestType, 0x20);
}

TEST_F(DeviceClass, TransferTimesOutAndTheEndpointKeepsWorking) {
  const int32_t pod = AddDrainPod(7);
  const std::vector<uint32_t> words = {0x00FF, 0x0000};
  TqlaSimSetSamples(pod, words.data(), 2, 1);
  CCyUSBDevice device(true);
  device.SelectAltSetting(1);
  ASSERT_EQ(LoadImage(&device, firmware::Image::Logic8Image), 1);
  CCyUSBEndPoint* ep6 = device.FindEndpoint(0x86);
  ep6->Timeout = 30;
  uint8_t block[512];
  int32_t length = sizeof block;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ep6->Transfer(block, length));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  EXPECT_EQ(length, 0);

  uint8_t go[2] = {1, 1};
  int32_t two = 2;
  ASSERT_TRUE(device.FindEndpoint(0x01)->Transfer(go, two));
  length = sizeof block;
  ASSERT_TRUE(ep6->Transfer(block, length));
  EXPECT_EQ(length, 512);
  EXPECT_EQ(block[0], 0xFF);
  EXPECT_EQ(block[1], 0x00);
  EXPECT_EQ(block[511], 0x00);
}

TEST_F(DeviceClass, ThirtyTwoTransfersInFlightCompleteInOrder) {
  const int32_t pod = AddDrainPod(7);
  TqlaSimSetSource(pod, TQLA_SIM_SOURCE_COUNTER);
  CCyUSBDevice device(true);
  device.SelectAltSetting(1);
  ASSERT_EQ(LoadImage(&device, firmware::Image::Logic16Image), 1);
  CCyUSBEndPoint* ep6 = device.FindEndpoint(0x86);
  static uint8_t buffers[32][65536];
  usb::Overlapped events[32];
  usb::TransferContext* contexts[32];
  // Queued before GO: nothing arrives until the samples start.
  for (int i = 0; i < 32; ++i) contexts[i] = ep6->BeginTransfer(buffers[i], 65536, &events[i]);
  EXPECT_FALSE(ep6->WaitTransfer(&events[0], 5));
  uint8_t go[2] = {1, 1};
  int32_t two = 2;
  ASSERT_TRUE(device.FindEndpoint(0x01)->Transfer(go, two));
  BuildPinMaps();
  uint32_t expected = 0;
  for (int pass = 0; pass < 3; ++pass) {
    for (int i = 0; i < 32; ++i) {
      ASSERT_TRUE(ep6->WaitTransfer(&events[i], 2000));
      int32_t length = 0;
      ASSERT_TRUE(ep6->FinishTransfer(buffers[i], length, &events[i], contexts[i]));
      ASSERT_EQ(length, 65536);
      for (int s = 0; s < 32768; s += 4099) {
        const uint32_t value = deviceState.LowByteMap[buffers[i][2 * s]] |
                               (deviceState.HighByteMap[buffers[i][2 * s + 1]] << 8);
        ASSERT_EQ(value, (expected + s) & 0xFFFF);
      }
      expected += 32768;
      contexts[i] = ep6->BeginTransfer(buffers[i], 65536, &events[i]);
    }
  }
  ep6->AbortTransfers();
  for (int i = 0; i < 32; ++i) {
    int32_t length = 0;
    ep6->WaitTransfer(&events[i], 100);
    ep6->FinishTransfer(buffers[i], length, &events[i], contexts[i]);
  }
}

TEST_F(DeviceClass, AbortStallAndUnplugEndPendingTransfers) {
  const int32_t pod = AddDrainPod(7);
  CCyUSBDevice device(true);
  device.SelectAltSetting(1);
  ASSERT_EQ(LoadImage(&device, firmware::Image::Logic16Image), 1);
  CCyUSBEndPoint* ep6 = device.FindEndpoint(0x86);
  uint8_t buffers[4][512];
  usb::Overlapped events[4];
  usb::TransferContext* contexts[4];
  auto beginAll = [&] {
    for (int i = 0; i < 4; ++i) contexts[i] = ep6->BeginTransfer(buffers[i], 512, &events[i]);
  };
  auto allFail = [&] {
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(ep6->WaitTransfer(&events[i], 1000));
      int32_t length = 1;
      EXPECT_FALSE(ep6->FinishTransfer(buffers[i], length, &events[i], contexts[i]));
      EXPECT_EQ(length, 0);
    }
  };
  beginAll();
  ep6->AbortTransfers();
  allFail();

  beginAll();
  ASSERT_EQ(TqlaSimInjectFault(pod, TQLA_SIM_FAULT_STALL, TQLA_SIM_DIGITAL, 0x86), 1);
  allFail();
  int32_t length = 512;
  EXPECT_FALSE(ep6->Transfer(buffers[0], length));
  EXPECT_TRUE(ep6->ResetEndpoint());
  StartStream(device, firmware::Image::Logic16Image, 1);
  length = 512;
  EXPECT_TRUE(ep6->Transfer(buffers[0], length));

  // Requests the pod does not serve once stopped, then the pod goes away.
  uint8_t stop[2] = {0, 1};
  int32_t two = 2;
  device.FindEndpoint(0x01)->Transfer(stop, two);
  beginAll();
  EXPECT_EQ(device.CountDevices(), 2);
  ASSERT_EQ(TqlaSimInjectFault(pod, TQLA_SIM_FAULT_UNPLUG, 0, 0), 1);
  allFail();
  EXPECT_EQ(device.CountDevices(), 0);
  length = 512;
  EXPECT_FALSE(ep6->Transfer(buffers[0], length));
  EXPECT_EQ(Reset8051(&device, 0), 4);
  EXPECT_EQ(device.GetAltSetting(), 255);
}

TEST_F(DeviceClass, BadArgumentsFailWithoutTouchingTheBus) {
  TqlaSimAddPod(7);
  CCyUSBDevice device(true);
  device.SelectAltSetting(1);
  CCyUSBEndPoint* ep2 = device.FindEndpoint(0x02);
  int32_t length = 16;
  EXPECT_FALSE(ep2->Transfer(nullptr, length));
  length = -1;
  uint8_t byte = 0;
  EXPECT_FALSE(ep2->Transfer(&byte, length));
  usb::Overlapped event;
  EXPECT_EQ(ep2->BeginTransfer(nullptr, 16, &event), nullptr);
  EXPECT_TRUE(ep2->WaitTransfer(&event, 0));
  EXPECT_FALSE(ep2->FinishTransfer(&byte, length, &event, nullptr));
  EXPECT_EQ(ep2->BeginTransfer(&byte, 1, nullptr), nullptr);
  EXPECT_FALSE(ep2->WaitTransfer(nullptr, 0));
}

}  // namespace

#if __has_include(<libusb.h>)
#include "usb/libusb/libusb_bus.h"

namespace {

TEST(RealPods, OpeningPastTheLastDeviceFailsCleanly) {
  tqla::usb::Backend& bus = tqla::usb::LibusbBus();
  EXPECT_EQ(bus.Open(bus.Count()), nullptr);
  EXPECT_EQ(bus.Open(255), nullptr);
}

}  // namespace
#endif
