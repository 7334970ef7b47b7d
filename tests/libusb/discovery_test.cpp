// Finding, opening and losing pods through the libusb backend: the order of
// the controllers, the CLI's list, pods plugged in and out while the library
// runs, controllers that re-enumerate when their first program starts, and a
// node the process may not open.
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "cli.h"
#include "device/pod_ids.h"
#include "usb/cyusb.h"
#include "usbfs_fixture.h"

namespace tqla {
namespace {

using test::Fx2;
using test::UsbfsTest;

std::vector<uint32_t> Pods() {
  std::vector<uint32_t> ids(32);
  ids.resize(static_cast<size_t>(EnumerateTQPods(ids.data())));
  return ids;
}

TEST_F(UsbfsTest, PodsAreListedInBusOrderAndOpenedDigitalFirst) {
  bus_->AddPod(7);
  bus_->AddDevice(0x046D, 0xC52B, 0x1201);  // another maker's device between two pods
  bus_->AddPod(9);
  EXPECT_EQ(Pods(), (std::vector<uint32_t>{7, 9}));
  CCyUSBDevice enumerator(false);
  EXPECT_EQ(enumerator.CountDevices(), 4) << "both FX2 of both pods, nothing else";
  ASSERT_EQ(InitializeTQPod(9), 1);
  CCyUSBDevice* digital = TqlaDigitalDevice();
  CCyUSBDevice* analog = TqlaAnalogDevice();
  ASSERT_NE(digital, nullptr);
  ASSERT_NE(analog, nullptr);
  EXPECT_EQ(digital->DeviceRelease, 9);
  EXPECT_EQ(digital->HighSpeed, 1);
  EXPECT_EQ(StillThere(), 4);
  // The model behind the node the library calls Digital is the pod's Digital FX2.
  ASSERT_EQ(digital->SelectAltSetting(1), true);
  EXPECT_EQ(Pods().size(), 2u);
}

// The command runs in this process, its standard output caught in a file.
TEST_F(UsbfsTest, ListCommandShowsThePodsOfTheEmulatedBus) {
  bus_->AddPod(7);
  bus_->AddPod(9);
  const std::string out = file_.file("list.txt");
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  FILE* sink = std::fopen(out.c_str(), "w");
  ASSERT_NE(sink, nullptr);
  dup2(fileno(sink), STDOUT_FILENO);
  std::array<char*, 2> argv = {const_cast<char*>("tqla"), const_cast<char*>("list")};
  const int status = cli::Main(2, argv.data());
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::fclose(sink);
  EXPECT_EQ(status, 0);
  const std::vector<uint8_t> text = test::ReadAll(out);
  EXPECT_EQ(std::string(text.begin(), text.end()),
            "pod 7: Digital FX2 high speed, Analog FX2 high speed\n"
            "pod 9: Digital FX2 high speed, Analog FX2 high speed\n"
            "2 pods\n");
}

TEST_F(UsbfsTest, PodsPluggedInAndOutWhileTheLibraryRunsAreSeenByTheNextEnumeration) {
  EXPECT_TRUE(Pods().empty());
  const test::UsbfsPod pod = bus_->AddPod(7);
  EXPECT_EQ(Pods(), std::vector<uint32_t>{7});
  EXPECT_TRUE(test::PollFor([&] { return trace_.Contains("FX2 1209:0001 arrived"); }));
  ASSERT_EQ(InitializeTQPod(7), 1);
  bus_->Unplug(pod);
  EXPECT_TRUE(Pods().empty());
  EXPECT_EQ(StillThere(), 0);
  EXPECT_TRUE(test::PollFor([&] { return trace_.Contains("FX2 1209:0001 left"); }));
  ClosePod();
  bus_->AddPod(8);
  EXPECT_EQ(Pods(), std::vector<uint32_t>{8});
  EXPECT_EQ(InitializeTQPod(8), 1);
}

// A pod whose controllers still carry the chip maker's IDs lists no pod; each
// controller given a program leaves the bus and comes back as the pod's, and
// the device object that loaded it goes on with the new identity.
TEST_F(UsbfsTest, ControllersComingBackWithThePodsIdsAreFollowed) {
  const test::UsbfsPod pod = bus_->AddPod(7, true);
  EXPECT_TRUE(Pods().empty());
  uint8_t* image = firmware::StandInImage(firmware::Image::VendorImage);
  for (uint8_t index : {0, 1}) {
    CCyUSBDevice device(false);
    ASSERT_TRUE(device.OpenDevice(index));
    EXPECT_EQ(device.VendorId, Fx2DefaultVendorId);
    EXPECT_EQ(DownloadImage(&device, image), 1);
    EXPECT_EQ(device.VendorId, PodVendorId);
    EXPECT_EQ(device.ProductId, PodProductId);
    EXPECT_EQ(device.DeviceRelease, 7);
    // The handle moved with it: the program it loaded answers.
    uint8_t bytes[4] = {};
    EXPECT_EQ(VendorControlIn(&device, 96, 0, 4, bytes), index == 0 ? 1 : TQLA_REQUEST_FAILED)
        << "only the Digital FX2 has the EEPROM";
  }
  EXPECT_EQ(Pods(), std::vector<uint32_t>{7});
  EXPECT_EQ(pod.model->Digital().ProgramName(), "VendorImage");
}

TEST_F(UsbfsTest, ControllerThatNeverComesBackEndsTheWaitAndFailsCleanly) {
  bus_->AddPod(7, true, true);
  CCyUSBDevice device(false);
  ASSERT_TRUE(device.OpenDevice(0));
  EXPECT_EQ(DownloadImage(&device, firmware::StandInImage(firmware::Image::VendorImage)), 1);
  EXPECT_TRUE(trace_.Contains("did not come back with the pod's IDs within 5000 ms"));
  uint8_t status = 0;
  EXPECT_EQ(VendorControlIn(&device, 96, 0, 1, &status), TQLA_REQUEST_FAILED);
  EXPECT_EQ(device.CountDevices(), 1) << "the Analog FX2, still on the default IDs";
}

// Without the udev rule the device node is not the user's to open; root
// stands in for such a user by giving up its power to override file modes.
class WithoutFileOverride {
 public:
  WithoutFileOverride() {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    syscall(SYS_capget, &header_, saved_.data());
    auto reduced = saved_;
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    syscall(SYS_capset, &header_, reduced.data());
  }
  ~WithoutFileOverride() { syscall(SYS_capset, &header_, saved_.data()); }

 private:
  __user_cap_header_struct header_{};
  std::array<__user_cap_data_struct, 2> saved_{};
};

TEST_F(UsbfsTest, NodeWithoutPermissionNamesTheUdevRule) {
  const test::UsbfsPod pod = bus_->AddPod(7);
  const std::string node = bus_->NodeFile(pod, Fx2::Digital);
  ASSERT_EQ(chmod(node.c_str(), 0), 0);
  {
    WithoutFileOverride user;
    EXPECT_EQ(InitializeTQPod(7), 0);
  }
  EXPECT_TRUE(trace_.Contains("No permission to open USB device"));
  EXPECT_TRUE(trace_.Contains("install contrib/60-tqla.rules into /etc/udev/rules.d, run 'udevadm control "
                              "--reload', and replug the pod"));
  ASSERT_EQ(chmod(node.c_str(), 0644), 0);
  EXPECT_EQ(InitializeTQPod(7), 1);
}

}  // namespace
}  // namespace tqla
