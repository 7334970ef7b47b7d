#include "decoders/usb_link.h"

#include <cstdio>

namespace tqla::decoders::usb {

bool Align(RawPacket& raw, Packet& packet) {
  packet.bits = raw.bits + 1;
  packet.count = raw.count;
  bool leadingZeros = true;
  for (uint32_t k = 1; k <= 5; ++k) leadingZeros = leadingZeros && packet.Bit(k) == 0;
  if (!leadingZeros) return false;
  if (packet.Bit(6) == 1) {
    raw.bits[0] = 0;
    packet.bits = raw.bits;
  } else if (packet.Bit(7) != 1) {
    return false;
  }
  packet.pid = static_cast<uint8_t>(packet.Field(8, 8));
  return true;
}

void RequestText(const Packet& data, char* text, size_t size) {
  const uint32_t request = data.PayloadByte(1);
  const uint32_t value = data.PayloadByte(2) | data.PayloadByte(3) << 8;
  const uint32_t index = data.PayloadByte(4) | data.PayloadByte(5) << 8;
  const uint32_t length = data.PayloadByte(6) | data.PayloadByte(7) << 8;
  const char* descriptor = "";
  switch (value >> 8) {
    case 1: descriptor = "DEVICE "; break;
    case 2: descriptor = "CONFIG "; break;
    case 3: descriptor = "STRING "; break;
  }
  switch (request) {
    case 0: std::snprintf(text, size, "GET_STATUS "); break;
    case 1: std::snprintf(text, size, "CLEAR_FEATURE "); break;
    case 3: std::snprintf(text, size, "SET_FEATURE "); break;
    case 5: std::snprintf(text, size, "SET_ADDRESS %d", static_cast<int>(value)); break;
    case 6: std::snprintf(text, size, "GET DESCRIPTOR %sLength:%d", descriptor, static_cast<int>(length)); break;
    case 7: std::snprintf(text, size, "SET_DESCRIPTOR "); break;
    case 8: std::snprintf(text, size, "GET_CONFIGURATION "); break;
    case 9: std::snprintf(text, size, "SET_CONFIGURATION %d", static_cast<int>(value)); break;
    case 10:
    case 16: std::snprintf(text, size, "GET_INTERFACE "); break;
    case 11:
      std::snprintf(text, size, "SET_INTERFACE Alt Setting:%d  Interface:%d", static_cast<int>(value),
                    static_cast<int>(index));
      break;
    case 12: std::snprintf(text, size, "SYNC_FRAME "); break;
    default: text[0] = '\0'; break;
  }
}

}  // namespace tqla::decoders::usb
