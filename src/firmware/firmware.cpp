#include "firmware/firmware.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "frame/export.h"
#include "platform/regular_file.h"
#include "platform/paths.h"

namespace tqla::firmware {

// Generated at build time (standins.cmake).
extern uint8_t standInImages[kImageCount][kImageBytes];

namespace {

constexpr std::array<const char*, kImageCount> kNames = {
    "Logic16Image", "Logic8Image", "TimingImage", "Scope2Image", "Scope1Image",
    "StreamImage1", "StreamImage4", "StreamImage5", "StreamImage6", "StreamImage7", "StreamImage8", "StreamImage9",
    "Generator8Image", "Generator16Image",
    "ModeImage1", "ModeImage2", "ModeImage3", "ModeImage4", "ModeImage5", "ModeImage6", "ModeImage7",
    "ModeImage8", "ModeImage9", "ModeImage10", "ModeImage11", "ModeImage12", "ModeImage13",
    "VendorImage",
};

struct RealImages {
  std::mutex lock;
  std::string hostFolder;
  std::array<std::unique_ptr<uint8_t[]>, kImageCount> images;
  // The divisor last patched into TimingImage, applied to a real image read later.
  std::optional<uint8_t> timingDivisor;
};
RealImages& realImages() {
  static RealImages instance;
  return instance;
}

// Reads exactly one image; false when the file is missing or has another size.
bool ReadImage(const std::string& path, uint8_t* into) {
  FILE* file = OpenRegularFile(path.c_str());
  if (!file) return false;
  const size_t got = std::fread(into, 1, kImageBytes, file);
  const bool longer = std::fgetc(file) != EOF;
  std::fclose(file);
  if (got != kImageBytes || longer) {
    Trace("Firmware file %s is not %u bytes; not used", path.c_str(), kImageBytes);
    return false;
  }
  return true;
}

}  // namespace

const char* ImageName(Image image) {
  const auto i = static_cast<size_t>(image);
  return i < kNames.size() ? kNames[i] : "";
}

std::optional<Image> ImageByName(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (name == kNames[i]) return static_cast<Image>(i);
  }
  return std::nullopt;
}

std::string_view StandInName(const uint8_t* image) {
  if (!image) return {};
  const auto* tag = reinterpret_cast<const char*>(image + kStandInTagOffset);
  if (std::memcmp(tag, kStandInMagic.data(), kStandInMagic.size()) != 0) return {};
  const char* name = tag + kStandInMagic.size();
  const size_t room = kImageBytes - kStandInTagOffset - kStandInMagic.size();
  return std::string_view(name, strnlen(name, room));
}

uint8_t* StandInImage(Image image) { return standInImages[static_cast<size_t>(image)]; }

std::vector<std::string> FirmwareSearchPath() {
  std::vector<std::string> folders;
  {
    RealImages& real = realImages();
    std::lock_guard<std::mutex> hold(real.lock);
    if (!real.hostFolder.empty()) folders.push_back(real.hostFolder);
  }
  const std::string fromEnvironment = platform::EnvironmentValue("TQLA_FIRMWARE_DIR");
  if (!fromEnvironment.empty()) folders.push_back(fromEnvironment);
  for (std::string& folder : platform::SystemFirmwareFolders()) folders.push_back(std::move(folder));
  return folders;
}

uint8_t* RealImage(Image image) {
  const auto i = static_cast<size_t>(image);
  if (i >= kImageCount) return nullptr;
  RealImages& real = realImages();
  {
    std::lock_guard<std::mutex> hold(real.lock);
    if (real.images[i]) return real.images[i].get();
  }
  const std::vector<std::string> folders = FirmwareSearchPath();
  auto bytes = std::make_unique<uint8_t[]>(kImageBytes);
  for (const std::string& folder : folders) {
    const std::string path = platform::JoinPath(folder, std::string(kNames[i]) + ".bin");
    if (!ReadImage(path, bytes.get())) continue;
    Trace("Firmware %s read from %s", kNames[i], path.c_str());
    std::lock_guard<std::mutex> hold(real.lock);
    if (image == Image::TimingImage && real.timingDivisor) bytes[kTimingDivisorOffset] = *real.timingDivisor;
    real.images[i] = std::move(bytes);
    return real.images[i].get();
  }
  Trace("Firmware %s not found; looked for %s.bin in:", kNames[i], kNames[i]);
  std::string tried;
  for (const std::string& folder : folders) {
    Trace("  %s", folder.c_str());
    tried += (tried.empty() ? "" : ", ") + folder;
  }
  Fail("Firmware %s.bin not found (a real pod needs its real images; folders tried: %s)", kNames[i],
       tried.empty() ? "none" : tried.c_str());
  return nullptr;
}

uint8_t* ImageFor(Image image, bool emulated) { return emulated ? StandInImage(image) : RealImage(image); }

void PatchTimingDivisor(uint8_t divisor) {
  StandInImage(Image::TimingImage)[kTimingDivisorOffset] = divisor;
  RealImages& real = realImages();
  std::lock_guard<std::mutex> hold(real.lock);
  real.timingDivisor = divisor;
  auto& loaded = real.images[static_cast<size_t>(Image::TimingImage)];
  if (loaded) loaded[kTimingDivisorOffset] = divisor;
}

void SetFirmwareFolder(const char* path) {
  RealImages& real = realImages();
  std::lock_guard<std::mutex> hold(real.lock);
  real.hostFolder = path ? path : "";
  for (auto& image : real.images) image.reset();
}

}  // namespace tqla::firmware
