// The firmware images, by name. Emulated FX2 controllers get the build's
// stand-ins; real pods get the real images from the firmware folder, never a
// stand-in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>


namespace tqla::firmware {

constexpr uint32_t kImageBytes = 8192;
constexpr uint32_t kImageCount = 28;
// The byte of TimingImage that holds the rate divisor of a capture without
// digital channels.
constexpr uint32_t kTimingDivisorOffset = 415;
constexpr uint32_t kStandInTagOffset = 0x100;
constexpr std::string_view kStandInMagic = "tqla stand-in firmware:";

enum class Image : uint8_t {
  Logic16Image, Logic8Image, TimingImage, Scope2Image, Scope1Image,
  StreamImage1, StreamImage4, StreamImage5, StreamImage6, StreamImage7, StreamImage8, StreamImage9,
  Generator8Image, Generator16Image,
  ModeImage1, ModeImage2, ModeImage3, ModeImage4, ModeImage5, ModeImage6, ModeImage7,
  ModeImage8, ModeImage9, ModeImage10, ModeImage11, ModeImage12, ModeImage13,
  VendorImage,
};

const char* ImageName(Image image);
std::optional<Image> ImageByName(std::string_view name);

// The name in a stand-in's tag; empty when the 8192 bytes are no stand-in.
std::string_view StandInName(const uint8_t* image);

// The generated stand-in, writable for the TimingImage patch.
uint8_t* StandInImage(Image image);

// The real image read from the firmware folder (kept once read); null when it
// is missing or not 8192 bytes, with a trace line naming every path tried.
uint8_t* RealImage(Image image);

// The image an FX2 must be sent: the stand-in for an emulated one, otherwise
// the real one (null when missing).
uint8_t* ImageFor(Image image, bool emulated);

// Sets the rate divisor byte of TimingImage, stand-in and real alike.
void PatchTimingDivisor(uint8_t divisor);

// The folder set by the host, searched before every other; empty clears it.
void SetFirmwareFolder(const char* path);
// The folders searched, in order.
std::vector<std::string> FirmwareSearchPath();

}  // namespace tqla::firmware
