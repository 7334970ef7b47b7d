#include "usb/winusb_support.h"

#include <cctype>
#include <cstdio>

#include "device/pod_ids.h"

namespace tqla::usb {
namespace {

constexpr uint8_t kInterfaceDescriptor = 4;
constexpr uint8_t kEndpointDescriptor = 5;

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// The four hexadecimal digits after key (e.g. "VID_") in text.
std::optional<uint16_t> HexAfter(std::string_view text, std::string_view key) {
  for (size_t at = 0; at + key.size() + 4 <= text.size(); ++at) {
    if (!SameLetters(text.substr(at, key.size()), key)) continue;
    uint16_t value = 0;
    for (char c : text.substr(at + key.size(), 4)) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
      const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
      value = static_cast<uint16_t>(value << 4 | digit);
    }
    return value;
  }
  return std::nullopt;
}

}  // namespace

std::vector<AltSettingDescriptor> InterfaceZeroSettings(const uint8_t* config, size_t length) {
  std::vector<AltSettingDescriptor> settings;
  bool inInterfaceZero = false;
  for (size_t at = 0; config && at + 2 <= length;) {
    const uint8_t size = config[at];
    const uint8_t type = config[at + 1];
    if (size < 2 || at + size > length) break;
    if (type == kInterfaceDescriptor && size >= 4) {
      inInterfaceZero = config[at + 2] == 0;
      if (inInterfaceZero) settings.push_back(AltSettingDescriptor{config[at + 3], {}});
    } else if (type == kEndpointDescriptor && size >= 6 && inInterfaceZero) {
      settings.back().endpoints.push_back(
          {config[at + 2], config[at + 3], static_cast<uint16_t>(config[at + 4] | config[at + 5] << 8)});
    }
    at += size;
  }
  return settings;
}

std::optional<HardwareId> ParseHardwareId(std::string_view text) {
  const auto vendor = HexAfter(text, "VID_");
  const auto product = HexAfter(text, "PID_");
  if (!vendor || !product) return std::nullopt;
  return HardwareId{*vendor, *product};
}

bool IsPodController(const HardwareId& id) {
  return (id.vendorId == PodVendorId && id.productId == PodProductId) ||
         (id.vendorId == Fx2DefaultVendorId && id.productId == Fx2DefaultProductId);
}

std::string DriverProblem(const HardwareId& id, std::string_view service) {
  if (SameLetters(service, "WinUSB")) return "";
  char ids[32];
  std::snprintf(ids, sizeof ids, "VID_%04X&PID_%04X", id.vendorId, id.productId);
  const std::string bound =
      service.empty() ? std::string("has no driver") : "is bound to the " + std::string(service) + " driver";
  return "FX2 " + std::string(ids) + " " + bound +
         ", not WinUSB: the library cannot reach it until WinUSB is bound to it "
         "(install contrib/tqla-winusb.inf, or bind WinUSB with a driver installer; see the README)";
}

}  // namespace tqla::usb
