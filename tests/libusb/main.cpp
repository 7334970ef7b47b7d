// The libusb suite runs under the device emulation's preload library; the
// program starts itself again with it, or skips every test saying why.
#include <gtest/gtest.h>

#include "usbfs_fixture.h"

namespace tqla::test {

std::string& EmulationMissing() {
  static std::string why;
  return why;
}

}  // namespace tqla::test

int main(int argc, char** argv) {
  tqla::test::RunUnderEmulation(argc, argv, tqla::test::EmulationMissing());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
