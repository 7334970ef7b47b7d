// Helpers of the suites that run against the simulated pod.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "frame/sample_buffer.h"
#include "sim/sim_bus.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::test {

// Every test starts from an empty simulated bus and no open pod.
class SimBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClosePod();
    TqlaSimReset();
  }
  void TearDown() override {
    ClosePod();
    TqlaSimReset();
  }
};

// A pod that hands out samples as fast as they are read.
inline int32_t AddDrainPod(uint32_t id) {
  const int32_t pod = TqlaSimAddPod(id);
  TqlaSimSetRealTime(pod, 0);
  return pod;
}

// Pod 7 on the bus, draining as fast as it is read, opened and initialized.
class OpenPodTest : public SimBusTest {
 protected:
  void SetUp() override {
    SimBusTest::SetUp();
    pod_ = AddDrainPod(7);
    ASSERT_EQ(InitializeTQPod(7), 1);
    digital_ = TqlaDigitalDevice();
  }
  int32_t pod_ = 0;
  CCyUSBDevice* digital_ = nullptr;
};

inline std::string RunningImage(int32_t pod, int32_t fx2) {
  char name[64] = {};
  TqlaSimProgram(pod, fx2, name, sizeof name);
  return name;
}

inline std::vector<sim::ControlRecord> ControlLog(int32_t pod, int32_t fx2) {
  auto p = sim::Bus().Pod(pod);
  return fx2 == TQLA_SIM_DIGITAL ? p->Digital().ControlLog() : p->Analog().ControlLog();
}

// Polls condition every millisecond for up to limit.
template <class F>
bool PollFor(F&& condition, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Starts a 16-channel capture at 8 MHz into ring whose trigger never comes
// (without the analog channels CH1 is not captured and reads 0; with them
// CH1 and CH2 of the counter source never both read 0), and waits for its
// first samples.
inline bool StartUntriggered(std::vector<uint32_t>& ring, bool analog = false) {
  uint32_t never[2] = {analog ? 0xFFFF0000u : 0x10000u, analog ? 0u : 0x10000u};
  return StartCapture(TQLA_CAPTURE_DIGITAL_16 | (analog ? TQLA_CAPTURE_ANALOG_2 : 0), TQLA_TRIGGER_RISING, TQLA_CH1,
                      TQLA_SCOPE_ZERO, TQLA_RATE_8MHZ, 0, never, 1, ring.data(), static_cast<uint32_t>(ring.size()),
                      0) == 1 &&
         PollFor([] { return sampleBuffer.CapturedLength.load() > 0; });
}

// Polls until a running capture has moved the end of its ring on batches times.
inline bool CaptureMovesOn(uint32_t batches) {
  uint32_t end = captureState.BufferEnd, moves = 0;
  return PollFor([&] {
    if (captureState.BufferEnd != end) {
      end = captureState.BufferEnd;
      ++moves;
    }
    return moves >= batches;
  });
}

// After the pod left the bus during a capture: the run ends by itself, its
// status reports the failure, and the stop and the threads end cleanly.
inline void ExpectCaptureEndedByUnplug() {
  EXPECT_TRUE(PollFor([] { return captureState.Running == 0; }));
  char running = 1, triggered = 1;
  EXPECT_EQ(CaptureStatus(nullptr, &running, &triggered, nullptr, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(running, 0);
  EXPECT_EQ(triggered, 0);
  EXPECT_EQ(StopCapture(), 1);
  EXPECT_TRUE(PollFor([] { return liveThreads.load() == 0; }));
}

}  // namespace tqla::test
