// The fixture of the suites that drive the libusb backend against simulated
// pods on the emulated USB bus.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "firmware/firmware.h"
#include "sim_support.h"
#include "test_support.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"
#include "usbfs_pod.h"

namespace tqla::test {

// Why the emulation cannot run here; empty when it runs.
std::string& EmulationMissing();

// Every test starts with an empty emulated bus, no simulated pod, no open
// pod, and a firmware folder that holds the stand-in images under the real
// images' names (the emulated FX2 runs them; the library sends a real pod
// only what it finds there).
class UsbfsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!EmulationMissing().empty()) GTEST_SKIP() << EmulationMissing();
    bus_ = &UsbfsBus::Get();
    ClosePod();
    TqlaSimReset();
    bus_->Clear();
    for (uint32_t i = 0; i < firmware::kImageCount; ++i) {
      const auto image = static_cast<firmware::Image>(i);
      const uint8_t* bytes = firmware::StandInImage(image);
      WriteAll(firmware_.file(std::string(firmware::ImageName(image)) + ".bin"),
               std::vector<uint8_t>(bytes, bytes + firmware::kImageBytes));
    }
    TqlaSetFirmwareDir(firmware_.path().c_str());
    trace_.Start();
  }
  void TearDown() override {
    if (!bus_) return;
    ClosePod();
    // The library's own account of a failure.
    if (HasFailure()) {
      for (const std::string& line : trace_.Lines()) std::fprintf(stderr, "trace: %s\n", line.c_str());
    }
    trace_.Stop();
    bus_->Clear();
    TqlaSetFirmwareDir(nullptr);
  }
  UsbfsBus* bus_ = nullptr;
  TempDir firmware_;
  TempDir file_;
  TraceLog trace_;
};

}  // namespace tqla::test
