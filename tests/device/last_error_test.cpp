// TqlaLastError: every failure of the host API says why, in words specific
// to it, and a call that succeeds clears the reason.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim_support.h"

namespace tqla {
namespace {

class LastError : public test::SimBusTest {
 protected:
  void SetUp() override {
    SimBusTest::SetUp();
    pod_ = test::AddDrainPod(7);
  }
  int32_t pod_ = 0;
};

TEST_F(LastError, EveryFamilySaysWhyItFailed) {
  std::vector<uint32_t> words(65536);
  uint32_t steps[2] = {};
  auto capture = [&](uint32_t mode, int32_t stepCount, uint32_t length) {
    return StartCapture(mode, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_24MHZ, 0, steps, stepCount,
                        words.data(), length, 0);
  };
  const struct {
    const char* call;
    std::function<bool()> ran;  // true when the call returned what the case expects
    const char* reason;
  } cases[] = {
      {"MakeBuffer(65537)", [] { return MakeBuffer(65537) == nullptr; }, "not a multiple of 65536"},
      {"MakeBufferSG(1)", [] { return MakeBufferSG(1) == nullptr; }, "not a multiple of 65536"},
      {"DeleteBuffer(host)", [&] { return DeleteBuffer(words.data()) == 0; }, "not a block this library made"},
      {"OpenTQPod(99)", [] { return OpenTQPod(99) == 0; }, "no pod with ID 99"},
      {"StartCapture, no pod", [&] { return capture(TQLA_CAPTURE_DIGITAL_16, 0, 65536) == 0; }, "no pod is open"},
      {"StartStreamingCapture, no pod",
       [] {
         return StartStreamingCapture(TQLA_RATE_24MHZ, TQLA_STREAM_CLOCK_IMAGE_FIRST, nullptr, 0, nullptr, 0, 0) == 0;
       },
       "no pod is open"},
      {"StartGenerate, no pod",
       [&] { return StartGenerate(TQLA_GENERATE_WIDTH_16, TQLA_RATE_24MHZ, 0, words.data(), 65536) == 0; },
       "no pod is open"},
      {"SetSignals, too many", [&] { return SetSignals(0xFFFF, 16384, words.data()) == 0; }, "at most 16,383"},
      {"GetSignals, no pod", [&] { return GetSignals(0xFFFF, 1, words.data()) == 0; }, "no pod is open"},
      {"StartPulseCount, bad rate", [] { return StartPulseCount(16, 24, 0, 0) == 0; }, "rate code 24 refused"},
      {"ReadEEPROM, no pod",
       [&] {
         ReadEEPROM(TQLA_EEPROM_CH1_GAIN, 4, reinterpret_cast<uint8_t*>(words.data()));
         return true;
       },
       "no pod is open"},
      {"InitializeTQPod(7) succeeds", [&] { return InitializeTQPod(7) == 1; }, ""},
      {"StartCapture, mode 2", [&] { return capture(2, 0, 65536) == 0; }, "Mode 2 is no channel configuration"},
      {"StartCapture, 9 steps", [&] { return capture(TQLA_CAPTURE_DIGITAL_16, 9, 65536) == 0; },
       "Trigger step count 9 refused"},
      {"StartCapture, length", [&] { return capture(TQLA_CAPTURE_DIGITAL_16, 0, 1000) == 0; },
       "nonzero multiple of 65536"},
      {"StartStreamingCapture, mode 3",
       [] { return StartStreamingCapture(TQLA_RATE_24MHZ, 3, nullptr, 0, nullptr, 0, 0) == 0; },
       "Clock mode 3 loads no image"},
      {"StartGenerate, mode 9",
       [&] { return StartGenerate(TQLA_GENERATE_WIDTH_16, TQLA_RATE_24MHZ, 9, words.data(), 65536) == 0; },
       "has no waveform"},
      {"StartLoopGenerate, no pattern",
       [] { return StartLoopGenerate(TQLA_GENERATE_WIDTH_16, TQLA_RATE_24MHZ, 0, nullptr, 65536, 1) == 0; },
       "no pattern"},
      {"DecodeI2C, no samples",
       [] {
         return DecodeI2C(nullptr, nullptr, 0, 10, TQLA_RATE_24MHZ, 0, 1, 1, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX,
                          nullptr, nullptr, nullptr) == 0;
       },
       "No sample words to decode"},
      {"DecodeCAN, bit rate 0",
       [&] {
         char error[256];
         return DecodeCAN(words.data(), nullptr, 0, 100, TQLA_RATE_24MHZ, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr,
                          error) == 0;
       },
       "Unsupported bit rate 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    ASSERT_TRUE(c.ran());
    const std::string reason = TqlaLastError();
    if (c.reason[0]) {
      EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    } else {
      EXPECT_EQ(reason, "") << "a call that succeeds clears the reason";
    }
  }

  // A pod that never greets, and a failing run's status.
  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_NO_READY_BYTE, 0, 0);
  EXPECT_EQ(capture(TQLA_CAPTURE_DIGITAL_16, 0, 65536), 0);
  EXPECT_NE(std::string(TqlaLastError()).find("ready byte"), std::string::npos) << TqlaLastError();
  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_NONE, 0, 0);
  ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16, TQLA_TRIGGER_RISING, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_24MHZ, 0,
                         steps, -1, words.data(), 65536, 0),
            1);
  EXPECT_STREQ(TqlaLastError(), "");
  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_UNPLUG, 0, 0);
  ASSERT_TRUE(test::PollFor([] { return CaptureStatus(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == -1; }));
  EXPECT_NE(std::string(TqlaLastError()).find("The run failed: Digital FX2 stopped answering"), std::string::npos)
      << TqlaLastError();
  StopCapture();
}

}  // namespace
}  // namespace tqla
