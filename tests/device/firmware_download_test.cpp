#include <cstring>

#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "firmware/firmware.h"
#include "sim_support.h"
#include "test_support.h"

using namespace tqla;
using namespace tqla::test;

namespace {

class Download : public OpenPodTest {
 protected:
  std::vector<uint8_t> Ram(uint32_t address, uint32_t length) {
    std::vector<uint8_t> bytes(length);
    EXPECT_EQ(ControlIn(digital_, 0xA0, 0, address, length, bytes.data()), 1);
    return bytes;
  }
};

TEST_F(Download, ImageTakesExactlyEighteenControlWritesInOrder) {
  ASSERT_EQ(DownloadImage(digital_, firmware::StandInImage(firmware::Image::Logic16Image)), 1);
  const auto log = ControlLog(pod_, TQLA_SIM_DIGITAL);
  ASSERT_EQ(log.size(), 18u);
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].setup.requestType, 0x40);
    EXPECT_EQ(log[i].setup.request, 0xA0);
    EXPECT_EQ(log[i].setup.index, 0);
    EXPECT_TRUE(log[i].ok);
  }
  EXPECT_EQ(log.front().setup.value, 0xE600);
  EXPECT_EQ(log.front().setup.length, 1);
  EXPECT_EQ(log.front().firstByte, 1);
  for (size_t block = 0; block < 16; ++block) {
    EXPECT_EQ(log[1 + block].setup.value, block * 512);
    EXPECT_EQ(log[1 + block].setup.length, 512);
  }
  EXPECT_EQ(log.back().setup.value, 0xE600);
  EXPECT_EQ(log.back().firstByte, 0);
  EXPECT_EQ(RunningImage(pod_, TQLA_SIM_DIGITAL), "Logic16Image");
  EXPECT_EQ(deviceState.LastTransferResult.load(), 1u);
}

TEST_F(Download, OnlyTheResetAndTheLastBlockDecide) {
  struct Case {
    uint32_t passing;  // control transfers that succeed before one fails
    int32_t result;
    const char* running;
    size_t sent;
  };
  const Case cases[] = {
      {0, 0, "VendorImage", 1},  // the reset fails: nothing else is sent, the old program runs on
      {5, 1, "ModeImage1", 18},  // a middle block fails unnoticed
      {16, 0, "", 17},           // the last block fails: the core stays in reset
      {17, 0, "", 18},           // the release fails
  };
  for (const Case& c : cases) {
    TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_NONE, 0, 0);
    ASSERT_EQ(LoadImage(digital_, firmware::Image::VendorImage), 1);
    const size_t before = ControlLog(pod_, TQLA_SIM_DIGITAL).size();
    TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_CONTROL_FAIL, c.passing, 1);
    EXPECT_EQ(DownloadImage(digital_, firmware::StandInImage(firmware::Image::ModeImage1)), c.result) << c.passing;
    EXPECT_EQ(RunningImage(pod_, TQLA_SIM_DIGITAL), c.running) << c.passing;
    const size_t sent = ControlLog(pod_, TQLA_SIM_DIGITAL).size() - before;
    EXPECT_EQ(sent, c.sent) << c.passing;
  }
}

TEST_F(Download, ResetFailureIsFourAndClosedDevicesAreRefused) {
  TqlaSimInjectFault(pod_, TQLA_SIM_FAULT_CONTROL_FAIL, 0, 1);
  EXPECT_EQ(Reset8051(digital_, 1), TQLA_REQUEST_FAILED);
  EXPECT_EQ(deviceState.LastTransferResult.load(), 0u);
  EXPECT_EQ(Reset8051(digital_, 1), 1);
  EXPECT_EQ(Reset8051(nullptr, 1), TQLA_REQUEST_FAILED);
  EXPECT_EQ(Reset8051(reinterpret_cast<CCyUSBDevice*>(&pod_), 1), TQLA_REQUEST_FAILED);
  EXPECT_EQ(DownloadImage(digital_, nullptr), 0);
  digital_->CloseDevice();
  EXPECT_EQ(Reset8051(digital_, 1), TQLA_REQUEST_FAILED);
}

TEST_F(Download, ProgramFilesGoInWholeBlocks) {
  TempDir dir;
  std::vector<uint8_t> program(1000);
  for (size_t i = 0; i < program.size(); ++i) program[i] = static_cast<uint8_t>(i * 7 + 1);
  WriteAll(dir.file("p.bin"), program);
  std::string path = dir.file("p.bin");
  const size_t before = ControlLog(pod_, TQLA_SIM_DIGITAL).size();
  ASSERT_EQ(DownloadFile(digital_, path.data()), 1);
  const auto log = ControlLog(pod_, TQLA_SIM_DIGITAL);
  ASSERT_EQ(log.size() - before, 2u);
  EXPECT_EQ(log[before].setup.value, 0);
  EXPECT_EQ(log[before + 1].setup.value, 512);
  EXPECT_EQ(log[before + 1].setup.length, 512);
  const std::vector<uint8_t> ram = Ram(0, 1024);
  EXPECT_TRUE(std::equal(program.begin(), program.end(), ram.begin()));
  EXPECT_TRUE(std::all_of(ram.begin() + 1000, ram.end(), [](uint8_t b) { return b == 0; }));

  ASSERT_EQ(DownloadData(digital_, 4096, path.data()), 1);
  EXPECT_EQ(Ram(4096, 1000), program);

  std::string missing = dir.file("missing.bin");
  EXPECT_EQ(DownloadFile(digital_, missing.data()), 0);
  EXPECT_EQ(DownloadFile(digital_, nullptr), 0);
  WriteAll(dir.file("empty.bin"), {});
  std::string empty = dir.file("empty.bin");
  EXPECT_EQ(DownloadFile(digital_, empty.data()), 1);  // LastTransferResult was 1

  // A program that is no stand-in runs but answers nothing.
  ASSERT_EQ(DownloadFirmwareDigital(path.data()), 1);
  EXPECT_EQ(RunningImage(pod_, TQLA_SIM_DIGITAL), "");
  EXPECT_EQ(sim::Bus().Pod(pod_)->Digital().RunningProgram(), sim::Program::Unknown);
}

TEST_F(Download, EepromGoesThroughTheVendorImage) {
  uint8_t calibration[16] = {};
  EXPECT_EQ(ReadEEPROM(TQLA_EEPROM_CH1_GAIN, 16, calibration), 0);
  EXPECT_EQ(Le32(std::vector<uint8_t>(calibration, calibration + 16), 0), 1310720u);
  EXPECT_EQ(Le32(std::vector<uint8_t>(calibration, calibration + 16), 8), 128u << 24);
  EXPECT_EQ(RunningImage(pod_, TQLA_SIM_DIGITAL), "VendorImage");

  uint8_t written[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(WriteEEPROM(200, 5, written), 0);
  uint8_t back[5] = {};
  ASSERT_EQ(TqlaSimGetEeprom(pod_, 200, back, 5), 1);
  EXPECT_EQ(0, std::memcmp(back, written, 5));

  // Past the end of the EEPROM the request fails and the buffer stays as it was.
  uint8_t untouched[4] = {9, 9, 9, 9};
  EXPECT_EQ(ReadEEPROM(16382, 4, untouched), 0);
  EXPECT_EQ(untouched[0], 9);
  EXPECT_EQ(deviceState.LastTransferResult.load(), 0u);
}

TEST(FirmwareImages, AllNamesCarryTheirStandIns) {
  for (uint32_t i = 0; i < firmware::kImageCount; ++i) {
    const auto image = static_cast<firmware::Image>(i);
    const char* name = firmware::ImageName(image);
    EXPECT_EQ(firmware::ImageByName(name), image);
    EXPECT_EQ(firmware::StandInName(firmware::StandInImage(image)), name);
    EXPECT_EQ(firmware::StandInImage(image)[0], 0x80);  // idle loop at the reset vector
  }
  EXPECT_EQ(firmware::ImageName(firmware::Image::VendorImage), std::string("VendorImage"));
  EXPECT_FALSE(firmware::ImageByName("StreamImage2"));
}

TEST(FirmwareImages, RealImagesComeFromTheFirmwareFolderOnly) {
  TempDir dir;
  ASSERT_EQ(TqlaSetFirmwareDir(dir.path().c_str()), 1);
  EXPECT_EQ(firmware::RealImage(firmware::Image::Scope1Image), nullptr);
  WriteAll(dir.file("Scope1Image.bin"), std::vector<uint8_t>(100, 1));  // wrong size
  EXPECT_EQ(firmware::RealImage(firmware::Image::Scope1Image), nullptr);
  std::vector<uint8_t> real(firmware::kImageBytes, 0x42);
  WriteAll(dir.file("Scope1Image.bin"), real);
  WriteAll(dir.file("TimingImage.bin"), real);
  const uint8_t* loaded = firmware::RealImage(firmware::Image::Scope1Image);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(loaded, loaded + firmware::kImageBytes), real);
  EXPECT_EQ(firmware::FirmwareSearchPath().front(), dir.path().string());

  uint8_t* timing = firmware::StandInImage(firmware::Image::TimingImage);
  EXPECT_EQ(timing[firmware::kTimingDivisorOffset], 105);
  firmware::PatchTimingDivisor(23);
  EXPECT_EQ(timing[firmware::kTimingDivisorOffset], 23);
  EXPECT_EQ(firmware::RealImage(firmware::Image::TimingImage)[firmware::kTimingDivisorOffset], 23);
  firmware::PatchTimingDivisor(105);
  TqlaSetFirmwareDir(nullptr);
}

}  // namespace
