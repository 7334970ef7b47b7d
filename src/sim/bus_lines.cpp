#include "sim/bus_lines.h"

namespace tqla::sim {

void SendCan(Bus& bus, uint32_t channel, double bit, const CanFrame& f, size_t errorAfter) {
  std::vector<int> bits = {0};
  auto put = [&](uint32_t value, int width) {
    for (int k = width - 1; k >= 0; --k) bits.push_back((value >> k) & 1);
  };
  if (f.extended) {
    put(f.id >> 18, 11), put(3, 2), put(f.id & 0x3FFFF, 18), put(f.remote, 1), put(0, 2);
  } else {
    put(f.id, 11), put(f.remote, 1), put(0, 2);
  }
  put(static_cast<uint32_t>(f.data.size()), 4);
  if (!f.remote) {
    for (uint8_t byte : f.data) put(byte, 8);
  }
  uint32_t crc = 0;
  for (int b : bits) {
    const bool top = ((crc >> 14) & 1) != static_cast<uint32_t>(b);
    crc = ((crc << 1) & 0x7FFF) ^ (top ? 0x4599 : 0);
  }
  put(crc, 15);
  auto send = [&](int level) {
    bus.Set(channel, level);
    bus.Hold(bit);
  };
  int level = 1, run = 0;
  size_t sent = 0;
  for (int b : bits) {
    if (errorAfter && sent == errorAfter) break;
    send(b), ++sent;
    run = b == level ? run + 1 : 1;
    level = b;
    if (run == 5) send(level = !level), run = 1, ++sent;
  }
  if (errorAfter) {
    for (int k = 0; k < 12; ++k) send(0);
  } else {
    send(1), send(0);  // CRC delimiter, acknowledge slot
  }
  for (int k = 0; k < 8 + 3; ++k) send(1);  // delimiter, end of frame, intermission
}

}  // namespace tqla::sim
