#include <cstring>

#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "sim_support.h"

using namespace tqla;
using namespace tqla::test;

namespace {

using RawTransfer = OpenPodTest;

TEST_F(RawTransfer, ControlAndVendorReadsShareTheRequestButNotTheFailureValue) {
  uint8_t a[4] = {}, b[4] = {};
  EXPECT_EQ(ControlIn(digital_, 0xA2, 0, 96, 4, a), 0);  // no program serves 0xA2 yet
  EXPECT_EQ(VendorControlIn(digital_, 96, 0, 4, b), TQLA_REQUEST_FAILED);
  auto log = ControlLog(pod_, TQLA_SIM_DIGITAL);
  ASSERT_EQ(log.size(), 2u);
  for (const auto& r : log) {
    EXPECT_EQ(r.setup.requestType, 0xC0);
    EXPECT_EQ(r.setup.request, 0xA2);
    EXPECT_EQ(r.setup.value, 96);
    EXPECT_EQ(r.setup.index, 0);
    EXPECT_EQ(r.setup.length, 4);
  }
  ASSERT_EQ(LoadImage(digital_, firmware::Image::VendorImage), 1);
  EXPECT_EQ(ControlIn(digital_, 0xA2, 0, 96, 4, a), 1);
  EXPECT_EQ(VendorControlIn(digital_, 96, 0, 4, b), 1);
  EXPECT_EQ(0, std::memcmp(a, b, 4));
  uint8_t value[2] = {0xAB, 0xCD};
  EXPECT_EQ(VendorControlOut(digital_, 300, 0, 2, value), 1);
  EXPECT_EQ(ControlOut(0xA2, 0, 302, 2, value), 1);
  uint8_t back[4] = {};
  TqlaSimGetEeprom(pod_, 300, back, 4);
  EXPECT_EQ(back[1], 0xCD);
  EXPECT_EQ(back[2], 0xAB);
  EXPECT_EQ(VendorControlOut(nullptr, 300, 0, 2, value), TQLA_REQUEST_FAILED);
  EXPECT_EQ(ControlIn(digital_, 0xA2, 0, 96, 4, nullptr), 0);
}

TEST_F(RawTransfer, BulkOutSwitchesToTheSettingWithEndpoints) {
  ASSERT_EQ(digital_->GetAltSetting(), 0);
  ASSERT_EQ(LoadImage(digital_, firmware::Image::ModeImage13), 1);
  uint8_t values[4] = {1, 2, 3, 4};
  EXPECT_EQ(BulkOut(2, 4, values), 1);
  EXPECT_EQ(digital_->GetAltSetting(), 1);
  uint8_t received[8] = {};
  EXPECT_EQ(TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x02, received, 8), 4u);
  EXPECT_EQ(0, std::memcmp(received, values, 4));
}

TEST_F(RawTransfer, EndpointNumbersOutsideTheSetAreRefused) {
  digital_->SelectAltSetting(1);
  uint8_t byte = 0;
  for (uint8_t endpoint : {0, 3, 5, 7, 9, 0x81, 0x86, 255}) {
    EXPECT_EQ(BulkOut(endpoint, 1, &byte), 0) << int(endpoint);
    EXPECT_EQ(BulkIn(digital_, endpoint, 1, &byte), 0) << int(endpoint);
  }
  EXPECT_EQ(BulkIn(digital_, 2, 1, &byte), 0);  // 0x82 is no endpoint of the pod
  EXPECT_EQ(BulkIn(nullptr, 6, 1, &byte), 0);
}

TEST_F(RawTransfer, SilentEndpointTimesOutAndThenWorks) {
  digital_->SelectAltSetting(1);
  ASSERT_EQ(LoadImage(digital_, firmware::Image::ModeImage13), 1);
  uint8_t reply[64] = {};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(BulkIn(digital_, 6, sizeof reply, reply), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));

  const uint32_t words[2] = {0x0001, 0x8000};
  TqlaSimSetSamples(pod_, words, 2, 1);
  uint8_t read[4] = {0, 0, 0, 2};  // read command: mask 0, count 2
  ASSERT_EQ(BulkOut(1, 4, read), 1);
  ASSERT_EQ(BulkIn(digital_, 6, sizeof reply, reply), 1);
  BuildPinMaps();
  EXPECT_EQ(deviceState.LowByteMap[reply[0]] | (deviceState.HighByteMap[reply[1]] << 8), 0x0001);
  EXPECT_EQ(deviceState.LowByteMap[reply[2]] | (deviceState.HighByteMap[reply[3]] << 8), 0x8000);
}

TEST_F(RawTransfer, SetModeLoadsTheImageOfItsTable) {
  const std::pair<int32_t, const char*> cases[] = {
      {3, "ModeImage1"},   {7, "ModeImage2"},    {0x13, "ModeImage5"},  {1, "ModeImage6"},
      {0x11, "ModeImage10"}, {0x80, "ModeImage11"}, {0x82, "ModeImage11"}, {2, "ModeImage12"},
      {0, "ModeImage13"},  {0x8F, "ModeImage4"},
  };
  for (const auto& [mode, image] : cases) {
    deviceState.SignalMask.store(0x1234);
    EXPECT_EQ(SetMode(mode), 1) << mode;
    EXPECT_EQ(RunningImage(pod_, TQLA_SIM_DIGITAL), image) << mode;
    EXPECT_EQ(deviceState.SignalMask.load(), 0u);
  }
  EXPECT_EQ(digital_->GetAltSetting(), 1);
  // No image for this mode: the program that runs has sent its ready byte already.
  const size_t before = ControlLog(pod_, TQLA_SIM_DIGITAL).size();
  EXPECT_EQ(SetMode(0x15), 0);
  EXPECT_EQ(ControlLog(pod_, TQLA_SIM_DIGITAL).size(), before);
  EXPECT_EQ(RunningImage(pod_, TQLA_SIM_DIGITAL), "ModeImage4");

  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_NO_READY_BYTE, 0, 0);
  EXPECT_EQ(SetMode(3), 0);
  ClosePod();
  EXPECT_EQ(SetMode(3), 0);
}

}  // namespace
