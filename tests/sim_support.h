// Helpers of the suites that run against the simulated pod.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

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

}  // namespace tqla::test
