// Finding and opening pods through the libusb backend.
#include "usbfs_fixture.h"

#include "usb/cyusb.h"

namespace tqla {
namespace {

using test::UsbfsTest;

TEST_F(UsbfsTest, OnePodIsListedAndOpened) {
  bus_->AddPod(7);
  uint32_t ids[8] = {};
  EXPECT_EQ(EnumerateTQPods(ids), 1);
  EXPECT_EQ(ids[0], 7u);
  ASSERT_EQ(InitializeTQPod(7), 1);
}

}  // namespace
}  // namespace tqla
