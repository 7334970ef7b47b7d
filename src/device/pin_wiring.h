// How the FX2 port bits are wired to the pod's digital channels. The pin maps
// the library builds and the simulated pod's hardware both follow this table.
#pragma once

#include <array>
#include <cstdint>

namespace tqla {

// Channel bit (within its byte) that each raw port bit drives.
constexpr std::array<uint8_t, 8> kLowPortBitToChannel = {7, 6, 5, 4, 0, 1, 2, 3};
constexpr std::array<uint8_t, 8> kHighPortBitToChannel = {3, 4, 5, 6, 7, 2, 1, 0};

// Raw port byte to channel byte.
constexpr uint8_t MapPortByte(const std::array<uint8_t, 8>& wiring, uint8_t raw) {
  uint8_t out = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (raw & (1u << bit)) out = static_cast<uint8_t>(out | (1u << wiring[bit]));
  }
  return out;
}

// Channel byte to raw port byte.
constexpr uint8_t UnmapPortByte(const std::array<uint8_t, 8>& wiring, uint8_t channels) {
  uint8_t out = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (channels & (1u << wiring[bit])) out = static_cast<uint8_t>(out | (1u << bit));
  }
  return out;
}

}  // namespace tqla
