#include <cstring>

#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "sim_support.h"

using namespace tqla;
using namespace tqla::test;

namespace {

class SimPod : public SimBusTest {
 protected:
  void SetUp() override {
    SimBusTest::SetUp();
    BuildPinMaps();
    pod_ = AddDrainPod(7);
    ASSERT_EQ(OpenTQPod(7), 1);
    digital_ = TqlaDigitalDevice();
    analog_ = TqlaAnalogDevice();
    digital_->SelectAltSetting(1);
    analog_->SelectAltSetting(1);
  }
  uint8_t Status(CCyUSBDevice* device) {
    uint8_t status = 0;
    int32_t one = 1;
    EXPECT_TRUE(device->FindEndpoint(0x81)->Transfer(&status, one));
    return status;
  }
  bool Command(std::vector<uint8_t> bytes) {
    auto length = static_cast<int32_t>(bytes.size());
    return digital_->FindEndpoint(0x01)->Transfer(bytes.data(), length);
  }
  std::vector<uint8_t> Read(CCyUSBDevice* device, int32_t length) {
    std::vector<uint8_t> bytes(length);
    EXPECT_TRUE(device->FindEndpoint(0x86)->Transfer(bytes.data(), length));
    bytes.resize(length);
    return bytes;
  }
  int32_t pod_ = 0;
  CCyUSBDevice* digital_ = nullptr;
  CCyUSBDevice* analog_ = nullptr;
};

uint32_t Channels(const uint8_t* pins, bool sixteen) {
  return deviceState.LowByteMap[pins[0]] | (sixteen ? deviceState.HighByteMap[pins[1]] << 8 : 0);
}

TEST_F(SimPod, StatusByteIsReadyOnceThenTheBreakCounter) {
  EXPECT_EQ(LoadImage(digital_, firmware::Image::Logic16Image), 1);
  EXPECT_EQ(Status(digital_), 0x55);
  EXPECT_EQ(Status(digital_), 0);
  EXPECT_EQ(LoadImage(digital_, firmware::Image::Logic8Image), 1);
  EXPECT_EQ(Status(digital_), 0x55);
  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_NO_READY_BYTE, 0, 0);
  EXPECT_EQ(LoadImage(digital_, firmware::Image::Logic8Image), 1);
  EXPECT_EQ(Status(digital_), 0);
}

TEST_F(SimPod, BothControllersStreamTheSameSamplesInPinOrder) {
  std::vector<uint32_t> words(5000);
  for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint32_t>(i * 2654435761u);
  TqlaSimSetSamples(pod_, words.data(), static_cast<uint32_t>(words.size()), 1);
  struct Case {
    firmware::Image digitalImage, analogImage;
    uint32_t digitalBytes, analogBytes;
  };
  const Case cases[] = {
      {firmware::Image::Logic16Image, firmware::Image::Scope2Image, 2, 2},
      {firmware::Image::Logic8Image, firmware::Image::Scope1Image, 1, 1},
      {firmware::Image::StreamImage4, firmware::Image::Scope2Image, 1, 2},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(LoadImage(digital_, c.digitalImage), 1);
    ASSERT_EQ(LoadImage(analog_, c.analogImage), 1);
    ASSERT_EQ(Status(digital_), 0x55);
    ASSERT_TRUE(Command({1, 1}));
    const uint32_t samples = 12000;  // past the end of the words: they loop
    const std::vector<uint8_t> d = Read(digital_, samples * c.digitalBytes);
    const std::vector<uint8_t> a = Read(analog_, samples * c.analogBytes);
    for (uint32_t s = 0; s < samples; ++s) {
      const uint32_t w = words[s % words.size()];
      const uint32_t mask = c.digitalBytes == 2 ? 0xFFFF : 0xFF;
      ASSERT_EQ(Channels(&d[s * c.digitalBytes], c.digitalBytes == 2), w & mask) << s;
      ASSERT_EQ(a[s * c.analogBytes], (w >> 16) & 0xFF) << s;
      if (c.analogBytes == 2) {
        ASSERT_EQ(a[s * 2 + 1], w >> 24) << s;
      }
    }
  }
}

TEST_F(SimPod, SourceWithoutLoopHoldsItsLastWord) {
  const uint32_t words[3] = {0x0001, 0x0002, 0x0304};
  TqlaSimSetSamples(pod_, words, 3, 0);
  ASSERT_EQ(LoadImage(digital_, firmware::Image::Logic16Image), 1);
  Status(digital_);
  ASSERT_TRUE(Command({1, 23}));
  const std::vector<uint8_t> d = Read(digital_, 20);
  for (int s = 0; s < 10; ++s) EXPECT_EQ(Channels(&d[2 * s], true), words[std::min(s, 2)]);
}

TEST_F(SimPod, TimingImagePacesTheAnalogControllerWithoutGo) {
  ASSERT_EQ(LoadImage(analog_, firmware::Image::Scope1Image), 1);
  int32_t length = 16;
  uint8_t bytes[16];
  analog_->FindEndpoint(0x86)->Timeout = 20;
  EXPECT_FALSE(analog_->FindEndpoint(0x86)->Transfer(bytes, length));
  digital_->SelectAltSetting(0);
  ASSERT_EQ(LoadImage(digital_, firmware::Image::TimingImage), 1);
  EXPECT_EQ(Read(analog_, 16).size(), 16u);
}

TEST_F(SimPod, HostThatFallsBehindSeesTheBreakCounterGrow) {
  TqlaSimSetRealTime(pod_, 1);
  ASSERT_EQ(LoadImage(digital_, firmware::Image::Logic16Image), 1);
  Status(digital_);
  ASSERT_TRUE(Command({1, 1}));
  // Nobody reads endpoint 0x86 while 48 MB/s arrive.
  EXPECT_TRUE(PollFor([&] { return Status(digital_) > 0; }));

  // A bus slower than the samples loses data even while the host keeps reading.
  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_BANDWIDTH, 8u << 20, 0);
  ASSERT_EQ(LoadImage(digital_, firmware::Image::Logic16Image), 1);
  Status(digital_);
  ASSERT_TRUE(Command({1, 1}));
  CCyUSBEndPoint* ep6 = digital_->FindEndpoint(0x86);
  std::vector<uint8_t> block(65536);
  EXPECT_TRUE(PollFor([&] {
    int32_t length = 65536;
    ep6->Transfer(block.data(), length);
    return Status(digital_) > 0;
  }));
}

TEST_F(SimPod, GeneratorReceivesItsCommandAndPattern) {
  ASSERT_EQ(LoadImage(digital_, firmware::Image::Generator16Image), 1);
  std::vector<uint8_t> command(33, 0);
  command[0] = 1;
  ASSERT_TRUE(Command(command));
  std::vector<uint8_t> pattern(65536);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i ^ (i >> 8));
  int32_t length = 65536;
  ASSERT_TRUE(digital_->FindEndpoint(0x02)->Transfer(pattern.data(), length));
  std::vector<uint8_t> got(70000);
  EXPECT_EQ(TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x01, got.data(), 100), 33u);
  EXPECT_EQ(TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x02, nullptr, 0), 65536u);
  EXPECT_EQ(TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x02, got.data(), 70000), 65536u);
  EXPECT_EQ(0, std::memcmp(got.data(), pattern.data(), 65536));
  EXPECT_EQ(TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x02, got.data(), 70000), 0u);
}

TEST_F(SimPod, RealTimeGeneratorHoldsPatternUntilItsTimingArrives) {
  TqlaSimSetRealTime(pod_, 1);
  ASSERT_EQ(LoadImage(digital_, firmware::Image::Generator8Image), 1);
  CCyUSBEndPoint* ep2 = digital_->FindEndpoint(0x02);
  std::vector<uint8_t> pattern(4096, 0x5A);
  usb::Overlapped event;
  usb::TransferContext* context = ep2->BeginTransfer(pattern.data(), 4096, &event);
  EXPECT_FALSE(ep2->WaitTransfer(&event, 20));
  // Rate code 17's descriptor: states 4 and 5 last 23 and 24 clocks, 1 MHz.
  std::vector<uint8_t> command = {1, 0x22, 1, 0x13, 0x23, 23, 24, 0x3c, 7};
  command.resize(33, 0);
  ASSERT_TRUE(Command(command));
  EXPECT_TRUE(ep2->WaitTransfer(&event, 2000));
  int32_t length = 0;
  EXPECT_TRUE(ep2->FinishTransfer(pattern.data(), length, &event, context));
  EXPECT_EQ(length, 4096);
}

TEST_F(SimPod, StaticInputAnswersTheReadCommand) {
  const uint32_t words[3] = {0x0001, 0x0100, 0xFFFF};
  TqlaSimSetSamples(pod_, words, 3, 1);
  ASSERT_EQ(LoadImage(digital_, firmware::Image::ModeImage13), 1);
  ASSERT_TRUE(Command({0xFF, 0x00, 0, 0}));  // mask command: nothing to read
  ASSERT_TRUE(Command({0xFF, 0xFF, 0, 3}));
  std::vector<uint8_t> reply(65536);
  int32_t length = 65536;
  ASSERT_TRUE(digital_->FindEndpoint(0x86)->Transfer(reply.data(), length));
  ASSERT_EQ(length, 6);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Channels(&reply[2 * i], true), words[i]);
  uint8_t commands[8];
  EXPECT_EQ(TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x01, commands, 8), 8u);
  EXPECT_EQ(commands[7], 3);
}

TEST_F(SimPod, ControlFailureAndUnknownPodsAreRefused) {
  EXPECT_EQ(TqlaSimSetSource(99, TQLA_SIM_SOURCE_DEMO), 0);
  EXPECT_EQ(TqlaSimSetSource(pod_, 17), 0);
  EXPECT_EQ(TqlaSimInjectFault(pod_, 99, 0, 0), 0);
  EXPECT_EQ(TqlaSimReadOutput(pod_, 5, 0x01, nullptr, 0), 0u);
  EXPECT_EQ(TqlaSimSetEeprom(pod_, sim::SimPod::kEepromBytes, nullptr, 1), 0);
  EXPECT_EQ(TqlaSimAddPod(0x10000), 0);
}

}  // namespace

namespace {

// The simulator's controls answer while a drain-paced stream keeps the data
// path busy with request after request (here its ring is full, so the
// transfer thread turns blocks round as fast as it can).
TEST_F(SimPod, ControlsAnswerWhileAStreamDrainsAsFastAsItCan) {
  ClosePod();
  ASSERT_EQ(InitializeTQExtractor(7, 0), 1);
  ASSERT_EQ(StartStreamingCapture(TQLA_RATE_24MHZ, TQLA_STREAM_CLOCK_IMAGE_FIRST, nullptr, 0, nullptr, 0, 0), 1);
  ASSERT_TRUE(PollFor([&] { return StreamBuffersLeft() == 0; }));
  const auto begin = std::chrono::steady_clock::now();
  for (int k = 0; k < 50; ++k) {
    EXPECT_EQ(RunningImage(pod_, TQLA_SIM_DIGITAL), "StreamImage4");
    EXPECT_GT(TqlaSimReadOutput(pod_, TQLA_SIM_DIGITAL, 0x01, nullptr, 0), 0u);
  }
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_EQ(StopStream(), 1);
  EXPECT_LT(took, std::chrono::seconds(2)) << "a hundred answers, each in well under a blink";
}

}  // namespace
