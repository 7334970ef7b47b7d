#include <unistd.h>

#include <fstream>

#include "device/device_state.h"
#include "device/pod_ids.h"
#include "sim_support.h"
#include "test_support.h"

using namespace tqla;
using namespace tqla::test;

namespace {

using Discovery = SimBusTest;

TEST_F(Discovery, EnumerationKeepsOneIdPerPod) {
  struct Case {
    std::vector<uint32_t> pods;
    bool loneFx2;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {{}, false, {}},
      {{7}, false, {7}},
      {{7, 9}, false, {7, 9}},
      {{7}, true, {7}},  // an FX2 without its partner is dropped
  };
  for (const Case& c : cases) {
    TqlaSimReset();
    for (uint32_t id : c.pods) TqlaSimAddPod(id);
    if (c.loneFx2) TqlaSimAddDevice(PodVendorId, PodProductId, 3, -1);
    uint32_t ids[8] = {};
    ASSERT_EQ(EnumerateTQPods(ids), static_cast<int32_t>(c.expected.size()));
    for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(ids[i], c.expected[i]);
  }
}

TEST_F(Discovery, ForeignDeviceBetweenTheTwoFx2DoesNotStopOpening) {
  TqlaSimAddPod(7);
  ASSERT_EQ(TqlaSimAddDevice(0x1234, 0x5678, 7, 1), 1);
  ASSERT_EQ(OpenTQPod(7), 1);
  ASSERT_NE(TqlaDigitalDevice(), nullptr);
  EXPECT_EQ(TqlaAnalogDevice()->VendorId, PodVendorId);
  EXPECT_EQ(TqlaAnalogDevice()->DeviceRelease, 7);
  EXPECT_EQ(OpenTQPod(8), 0);
}

TEST_F(Discovery, StillThereFollowsTheOpenPod) {
  TqlaSimAddPod(7);
  EXPECT_EQ(StillThere(), TQLA_NO_POD);
  ASSERT_EQ(OpenTQPod(7), 1);
  EXPECT_EQ(StillThere(), 2);
  EXPECT_EQ(ClosePod(), 1);
  EXPECT_EQ(StillThere(), TQLA_NO_POD);
  EXPECT_EQ(TqlaDigitalDevice(), nullptr);
}

TEST_F(Discovery, InitializeBuildsInversePinMapsAndFillsQueues) {
  TqlaSimAddPod(7);
  EXPECT_EQ(InitializeTQPod(5), 0);
  ASSERT_EQ(InitializeTQPod(7), 1);
  EXPECT_EQ(deviceState.LowByteMap[0x01], 0x80);
  EXPECT_EQ(deviceState.LowByteMap[0x10], 0x01);
  EXPECT_EQ(deviceState.HighByteMap[0x01], 0x08);
  EXPECT_EQ(deviceState.HighByteMap[0x80], 0x01);
  for (int v = 0; v < 256; ++v) {
    EXPECT_EQ(deviceState.LowByteUnmap[deviceState.LowByteMap[v]], static_cast<uint32_t>(v));
    EXPECT_EQ(deviceState.HighByteUnmap[deviceState.HighByteMap[v]], static_cast<uint32_t>(v));
  }
  EXPECT_EQ(digitalQueue.Buffers[31][65535], 0x69);
  EXPECT_EQ(analogQueue.Buffers[0][0], 0x69);
  EXPECT_EQ(TqlaDigitalDevice()->GetAltSetting(), 0);

  ASSERT_EQ(InitializeTQExtractor(7, 0), 1);
  EXPECT_EQ(TqlaDigitalDevice()->GetAltSetting(), 1);
  EXPECT_EQ(TqlaAnalogDevice()->GetAltSetting(), 0);
  EXPECT_EQ(digitalQueue.Buffers[0][0], 0);
}

std::vector<std::string> LogTexts() {
  std::ifstream in("tqlog.txt");
  std::vector<std::string> texts;
  for (std::string line; std::getline(in, line);) {
    const size_t colon = line.find(": ");
    EXPECT_NE(colon, std::string::npos) << line;
    EXPECT_GT(colon, 0u) << line;
    for (size_t i = 0; i < colon; ++i) EXPECT_TRUE(isdigit(static_cast<unsigned char>(line[i]))) << line;
    texts.push_back(line.substr(colon + 2));
  }
  return texts;
}

class SelfTest : public SimBusTest {
 protected:
  void SetUp() override {
    SimBusTest::SetUp();
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    SimBusTest::TearDown();
  }
  TempDir dir_;
  std::filesystem::path previous_;
};

TEST_F(SelfTest, OnePodOnAHighSpeedPort) {
  TqlaSimAddPod(7);
  EXPECT_EQ(TestTQPod(nullptr), 1);
  const std::vector<std::string> fx2 = {
      "Checking Device IDs",
      "VID = 1209  PID = 0001  DID = 0007",
      "Found New FX2 with proper Vid and Pid",
      "Endpoint count = 1",
      "Setting Alternate Interface",
      "Endpoint count is now = 7",
      "MaxPktSize = 512",
      "Found FX2 attached to High Speed Port",
  };
  std::vector<std::string> expected = {" TQ Log Init", "TestTQPod()",
                                       "Found 2 USB devices attached to the Cypress Driver."};
  expected.insert(expected.end(), fx2.begin(), fx2.end());
  expected.insert(expected.end(), fx2.begin(), fx2.end());
  EXPECT_EQ(LogTexts(), expected);
}

TEST_F(SelfTest, FaultsAreReportedOnlyInTheLog) {
  EXPECT_EQ(TestTQPod(nullptr), 1);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{" TQ Log Init", "TestTQPod()",
                                                  "Found NO USB devices attached to the Cypress Driver.",
                                                  "***TEST FAILED*** due to no device detected"}));

  const int32_t pod = TqlaSimAddPod(7);
  TqlaSimInjectFault(pod, TQLA_SIM_FAULT_FULL_SPEED, 0, 0);
  TqlaSimAddDevice(0x1234, 0x5678, 1, -1);
  EXPECT_EQ(TestTQPod(nullptr), 1);
  const std::vector<std::string> texts = LogTexts();
  auto count = [&](const std::string& text) { return std::count(texts.begin(), texts.end(), text); };
  EXPECT_EQ(count("Found 3 USB devices attached to the Cypress Driver."), 1);
  EXPECT_EQ(count("***TEST FAILED*** due to incorrect number of devices using our driver"), 1);
  EXPECT_EQ(count("MaxPktSize = 64"), 2);
  EXPECT_EQ(count("***TEST FAILED*** due to full speed port usage"), 2);
  EXPECT_EQ(count("VID = 1234  PID = 5678  DID = 0001"), 1);
  EXPECT_EQ(count("***TEST FAILED*** due to wrong VID or PID"), 1);
  // The self-test leaves each FX2 at alternate setting 0.
  ASSERT_EQ(OpenTQPod(7), 1);
  EXPECT_EQ(TqlaDigitalDevice()->GetAltSetting(), 0);
}

}  // namespace
