// The data handling of the WinUSB backend, which every build compiles.
#include <gtest/gtest.h>

#include <vector>

#include "usb/winusb_support.h"

using namespace tqla::usb;

namespace {

// A configuration descriptor: interface 0 with alternate settings 0 (no
// endpoints) and 1 (EP1 OUT, EP1 IN, EP6 IN with a high-bandwidth size), an
// unknown class descriptor between them, and interface 1 whose endpoint must
// not be taken for interface 0's.
std::vector<uint8_t> PodConfiguration() {
  return {
      9, 2, 0, 0, 2, 1, 0, 0x80, 50,             // configuration
      9, 4, 0, 0, 0, 0xFF, 0, 0, 0,              // interface 0, setting 0
      9, 4, 0, 1, 3, 0xFF, 0, 0, 0,              // interface 0, setting 1
      7, 5, 0x01, 2, 0x00, 0x02, 0,              // EP1 OUT bulk 512
      5, 0x24, 1, 2, 3,                          // class-specific, skipped
      7, 5, 0x81, 3, 0x40, 0x00, 1,              // EP1 IN interrupt 64
      7, 5, 0x86, 2, 0x00, 0x0A, 0,              // EP6 IN bulk, 512 x 2 transactions
      9, 4, 1, 0, 1, 0xFF, 0, 0, 0,              // interface 1
      7, 5, 0x82, 2, 0x00, 0x02, 0,              // not interface 0's
  };
}

TEST(WinusbSupport, ConfigurationGivesInterfaceZerosSettingsAndEndpoints) {
  const std::vector<uint8_t> config = PodConfiguration();
  const auto settings = InterfaceZeroSettings(config.data(), config.size());
  ASSERT_EQ(settings.size(), 2u);
  EXPECT_EQ(settings[0].alternateSetting, 0);
  EXPECT_TRUE(settings[0].endpoints.empty());
  EXPECT_EQ(settings[1].alternateSetting, 1);
  ASSERT_EQ(settings[1].endpoints.size(), 3u);
  EXPECT_EQ(settings[1].endpoints[0].address, 0x01);
  EXPECT_EQ(settings[1].endpoints[0].maxPacketSize, 512);
  EXPECT_EQ(settings[1].endpoints[1].address, 0x81);
  EXPECT_EQ(settings[1].endpoints[1].attributes, 3);
  EXPECT_EQ(settings[1].endpoints[2].address, 0x86);
  EXPECT_EQ(settings[1].endpoints[2].maxPacketSize, 0x0A00);
}

TEST(WinusbSupport, DamagedConfigurationsEndTheWalkWithoutReadingPastThem) {
  std::vector<uint8_t> config = PodConfiguration();
  // Cut inside EP6's descriptor: the settings read so far stay.
  const auto cut = InterfaceZeroSettings(config.data(), 9 + 9 + 9 + 7 + 5 + 7 + 3);
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut[1].endpoints.size(), 2u);
  // A descriptor that claims length 0 or 1 would loop or misalign the walk.
  for (uint8_t bad : {0, 1}) {
    config[9 + 9 + 9] = bad;
    const auto stopped = InterfaceZeroSettings(config.data(), config.size());
    ASSERT_EQ(stopped.size(), 2u);
    EXPECT_TRUE(stopped[1].endpoints.empty());
  }
  // An endpoint before any interface descriptor belongs to no setting.
  const std::vector<uint8_t> orphan = {7, 5, 0x81, 2, 0, 2, 0};
  EXPECT_TRUE(InterfaceZeroSettings(orphan.data(), orphan.size()).empty());
  EXPECT_TRUE(InterfaceZeroSettings(nullptr, 100).empty());
}

TEST(WinusbSupport, HardwareIdsGiveVendorAndProduct) {
  struct Case {
    const char* text;
    bool parsed;
    uint16_t vendor, product;
  } cases[] = {
      {"USB\\VID_1209&PID_0001&REV_0007", true, 0x1209, 0x0001},
      {"USB\\VID_04b4&PID_8613", true, 0x04B4, 0x8613},
      {"usb\\vid_04B4&pid_8613&rev_a001", true, 0x04B4, 0x8613},
      {"USB\\VID_1209", false, 0, 0},
      {"USB\\VID_12G9&PID_0001", false, 0, 0},
      {"USB\\VID_120&PID_0001", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const Case& c : cases) {
    const auto id = ParseHardwareId(c.text);
    ASSERT_EQ(id.has_value(), c.parsed) << c.text;
    if (!id) continue;
    EXPECT_EQ(id->vendorId, c.vendor) << c.text;
    EXPECT_EQ(id->productId, c.product) << c.text;
  }
}

TEST(WinusbSupport, OnlyThePodsControllersAreDriven) {
  EXPECT_TRUE(IsPodController({0x1209, 0x0001}));
  EXPECT_TRUE(IsPodController({0x04B4, 0x8613}));
  EXPECT_FALSE(IsPodController({0x1209, 0x8613}));
  EXPECT_FALSE(IsPodController({0x04B4, 0x0001}));
}

TEST(WinusbSupport, AnotherDriverIsNamedWithTheFix) {
  const HardwareId pod{0x1209, 0x0001};
  EXPECT_EQ(DriverProblem(pod, "WinUSB"), "");
  EXPECT_EQ(DriverProblem(pod, "WINUSB"), "");
  const std::string other = DriverProblem(pod, "CyUSB3");
  EXPECT_NE(other.find("FX2 VID_1209&PID_0001 is bound to the CyUSB3 driver, not WinUSB"), std::string::npos) << other;
  EXPECT_NE(other.find("contrib/tqla-winusb.inf"), std::string::npos) << other;
  const std::string none = DriverProblem({0x04B4, 0x8613}, "");
  EXPECT_NE(none.find("FX2 VID_04B4&PID_8613 has no driver, not WinUSB"), std::string::npos) << none;
}

}  // namespace
