#include "generator/pattern_bytes.h"

#include <bit>
#include <cstring>

#include "device/device_state.h"

namespace tqla::generator {

namespace {

// Stores a sample's two pod bytes in send order (channels 0-7 first).
inline void Store16(uint8_t* at, uint16_t pins) {
  if constexpr (std::endian::native == std::endian::big) pins = static_cast<uint16_t>(pins << 8 | pins >> 8);
  std::memcpy(at, &pins, sizeof pins);
}

}  // namespace

void BuildPinTables(PinTables& tables) {
  const DeviceState& d = deviceState;
  uint16_t high[256];
  for (uint32_t b = 0; b < 256; ++b) {
    tables.pins8[b] = static_cast<uint8_t>(d.LowByteUnmap[b]);
    high[b] = static_cast<uint16_t>(static_cast<uint8_t>(d.HighByteUnmap[b]) << 8);
  }
  // pins16 read as little-endian is the low pin byte, then the high one.
  for (uint32_t v = 0; v < 65536; ++v) tables.pins16[v] = tables.pins8[v & 0xFF] | high[v >> 8];
}

void ConvertWords(const PinTables& tables, Layout layout, uint32_t width, const uint32_t* words, uint32_t count,
                  uint8_t* out) {
  const uint16_t* p16 = tables.pins16;
  const uint8_t* p8 = tables.pins8;
  if (layout == Layout::Plain) {
    if (width == 8) {
      for (uint32_t i = 0; i < count; ++i) out[i] = p8[words[i] & 0xFF];
    } else {
      for (uint32_t i = 0; i < count; ++i) Store16(out + 2 * i, p16[words[i] & 0xFFFF]);
    }
  } else if (width == 8) {
    for (uint32_t i = 0; i < count; ++i) {
      out[2 * i] = p8[(words[i] >> 16) & 0xFF];
      out[2 * i + 1] = p8[words[i] & 0xFF];
    }
  } else {
    for (uint32_t i = 0; i < count; ++i) {
      Store16(out + 4 * i, p16[words[i] >> 16]);
      Store16(out + 4 * i + 2, p16[words[i] & 0xFFFF]);
    }
  }
}

}  // namespace tqla::generator
