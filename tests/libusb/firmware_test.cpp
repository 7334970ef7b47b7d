// Firmware loading and the EEPROM through the libusb backend: the control
// requests the emulated FX2 receives are the ones the simulated backend's
// FX2 receives.
#include "usbfs_fixture.h"

#include "device/device_state.h"

namespace tqla {
namespace {

using test::UsbfsTest;

TEST_F(UsbfsTest, ImageDownloadIsTheResetSixteenBlocksAndTheRelease) {
  const test::UsbfsPod pod = bus_->AddPod(7);
  ASSERT_EQ(InitializeTQPod(7), 1);
  uint8_t* image = firmware::StandInImage(firmware::Image::Logic16Image);
  ASSERT_EQ(DownloadImage(TqlaDigitalDevice(), image), 1);
  const std::vector<sim::ControlRecord> log = pod.model->Digital().ControlLog();
  ASSERT_EQ(log.size(), 18u);
  for (size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(i);
    const usb::SetupPacket& s = log[i].setup;
    EXPECT_EQ(s.requestType, 0x40);
    EXPECT_EQ(s.request, 0xA0);
    EXPECT_EQ(s.index, 0);
    EXPECT_TRUE(log[i].ok);
    if (i == 0 || i == 17) {
      EXPECT_EQ(s.value, 0xE600);
      EXPECT_EQ(s.length, 1);
      EXPECT_EQ(log[i].firstByte, i == 0 ? 1 : 0);
    } else {
      EXPECT_EQ(s.value, (i - 1) * 512);
      EXPECT_EQ(s.length, 512);
      EXPECT_EQ(log[i].firstByte, image[(i - 1) * 512]);
    }
  }
  EXPECT_EQ(pod.model->Digital().ProgramName(), "Logic16Image");
  EXPECT_TRUE(pod.model->Analog().ControlLog().empty());
}

TEST_F(UsbfsTest, EepromIsWrittenAndReadThroughTheVendorImage) {
  const test::UsbfsPod pod = bus_->AddPod(7);
  ASSERT_EQ(InitializeTQPod(7), 1);
  std::vector<uint8_t> written(300);
  for (size_t i = 0; i < written.size(); ++i) written[i] = static_cast<uint8_t>(i * 7 + 3);
  EXPECT_EQ(WriteEEPROM(1000, static_cast<uint32_t>(written.size()), written.data()), 0);
  std::vector<uint8_t> model(written.size());
  ASSERT_TRUE(pod.model->ReadEeprom(1000, model.data(), static_cast<uint32_t>(model.size())));
  EXPECT_EQ(model, written);
  std::vector<uint8_t> read(written.size());
  EXPECT_EQ(ReadEEPROM(1000, static_cast<uint32_t>(read.size()), read.data()), 0);
  EXPECT_EQ(read, written);
  EXPECT_EQ(deviceState.LastTransferResult.load(), 1);
  EXPECT_EQ(pod.model->Digital().ProgramName(), "VendorImage");
  // The request itself: vendor 0xA2 from the device, Value = address.
  const sim::ControlRecord last = pod.model->Digital().ControlLog().back();
  EXPECT_EQ(last.setup.requestType, 0xC0);
  EXPECT_EQ(last.setup.request, 0xA2);
  EXPECT_EQ(last.setup.value, 1000);
  EXPECT_EQ(last.setup.length, 300);
}

// A request the FX2 does not take stalls on the bus; the export reports it.
TEST_F(UsbfsTest, RequestTheFx2RefusesFails) {
  bus_->AddPod(7);
  ASSERT_EQ(InitializeTQPod(7), 1);
  uint8_t byte = 0;
  // EEPROM access needs the vendor image, which is not loaded.
  EXPECT_EQ(VendorControlIn(TqlaDigitalDevice(), 96, 0, 1, &byte), TQLA_REQUEST_FAILED);
  EXPECT_EQ(ControlIn(TqlaDigitalDevice(), 0xA2, 0, 96, 1, &byte), 0);
}

}  // namespace
}  // namespace tqla
