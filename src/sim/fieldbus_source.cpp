#include "sim/fieldbus_source.h"

#include <initializer_list>

#include "sim/bus_lines.h"

namespace tqla::sim {
namespace {

constexpr uint32_t kCan = 0;
constexpr uint32_t kDPlus = 1;
constexpr uint32_t kDMinus = 2;
constexpr uint32_t kPs2Data = 3;
constexpr uint32_t kPs2Clock = 4;

constexpr double kCanBit = 24;     // 500 kbit/s
constexpr double kUsbBit = 8;      // low speed, 1.5 Mbit/s
constexpr double kPs2Half = 480;   // a 12.5 kHz clock
constexpr double kMillisecond = 12000;

void RenderCan(std::vector<uint32_t>& words) {
  Bus bus(words, {kCan}, 1u << kCan);
  const CanFrame frames[] = {
      {0x123, false, false, {0x11, 0x22}},
      {0x7DF, false, false, {0x02, 0x01, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00}},
      {0x7E8, false, false, {0x04, 0x41, 0x0C, 0x1A, 0xF8, 0x00, 0x00, 0x00}},
      {0x18DAF110, true, false, {0x02, 0x10, 0x03}},
      {0x321, false, true, {}},
      {0x000, false, false, {0x00}},
      {0x555, false, false, {0xAA, 0x55, 0xFF, 0x00}},
      {0x1ABCDEF, true, true, {}},
  };
  double at = kMillisecond / 2;
  for (int round = 0; round < 2; ++round) {
    for (const CanFrame& f : frames) {
      bus.At(at);
      if (round == 1 && f.id == 0x555) SendCan(bus, kCan, kCanBit, f, 20);  // broken off, then sent again
      SendCan(bus, kCan, kCanBit, f);
      at += kMillisecond;
    }
  }
  bus.Hold(words.size());
}

// A low-speed USB function's traffic: packets are SYNC, PID and fields least
// significant bit first with their CRC, a stuff bit after six ones, NRZI on
// the lines (J is D- high), then SE0 for two bit times and a J.
class UsbLine {
 public:
  explicit UsbLine(std::vector<uint32_t>& words) : bus_(words, {kDPlus, kDMinus}, 1u << kDMinus) {}

  void At(double sample) { bus_.At(sample); }
  void Token(uint8_t pid, uint32_t address, uint32_t endpoint) {
    std::vector<int> bits = Start(pid);
    Put(bits, address, 7), Put(bits, endpoint, 4), Put(bits, Crc5(address | endpoint << 7), 5);
    Send(bits);
  }
  void Data(uint8_t pid, std::initializer_list<uint8_t> payload) {
    std::vector<int> bits = Start(pid);
    uint32_t crc = 0xFFFF;
    for (uint8_t byte : payload) {
      Put(bits, byte, 8);
      for (int k = 0; k < 8; ++k) crc = ((crc ^ (byte >> k)) & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    Put(bits, crc ^ 0xFFFF, 16);
    Send(bits);
  }
  void Handshake(uint8_t pid) { Send(Start(pid)); }
  void KeepAlive() { EndOfPacket(); }
  void Idle() { bus_.Hold(1e9); }

 private:
  static void Put(std::vector<int>& bits, uint32_t value, int width) {
    for (int k = 0; k < width; ++k) bits.push_back((value >> k) & 1);
  }
  static uint32_t Crc5(uint32_t value) {
    uint32_t crc = 0x1F;
    for (int k = 0; k < 11; ++k) crc = ((crc ^ (value >> k)) & 1) ? (crc >> 1) ^ 0x14 : crc >> 1;
    return crc ^ 0x1F;
  }
  static std::vector<int> Start(uint8_t pid) {
    std::vector<int> bits;
    Put(bits, 0x80, 8);
    Put(bits, pid, 8);
    return bits;
  }
  void Drive(bool j) {
    bus_.Set(kDPlus, !j);
    bus_.Set(kDMinus, j);
    bus_.Hold(kUsbBit);
  }
  void Send(const std::vector<int>& bits) {
    bool j = true;
    int ones = 0;
    for (int bit : bits) {
      if (bit == 0) j = !j;
      Drive(j);
      ones = bit ? ones + 1 : 0;
      if (ones == 6) Drive(j = !j), ones = 0;
    }
    EndOfPacket();
  }
  void EndOfPacket() {
    bus_.Set(kDPlus, false);
    bus_.Set(kDMinus, false);
    bus_.Hold(2 * kUsbBit);
    Drive(true);
    bus_.Hold(3 * kUsbBit);
  }
  Bus bus_;
};

constexpr uint8_t kSetup = 0x2D, kIn = 0x69, kOut = 0xE1, kData0 = 0xC3, kData1 = 0x4B, kAck = 0xD2, kNak = 0x5A;

// Enumeration of a keyboard (its device descriptor, then its new address),
// then its interrupt endpoint polled for key reports, each millisecond
// opened by a keep-alive.
void RenderUsb(std::vector<uint32_t>& words) {
  UsbLine usb(words);
  const int milliseconds = static_cast<int>(words.size() / kMillisecond);
  for (int ms = 0; ms < milliseconds; ++ms) {
    usb.At(ms * kMillisecond + 200);
    usb.KeepAlive();
    usb.At(ms * kMillisecond + 1000);
    switch (ms) {
      case 1:
        usb.Token(kSetup, 0, 0), usb.Data(kData0, {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00}), usb.Handshake(kAck);
        usb.Token(kIn, 0, 0), usb.Handshake(kNak);
        usb.Token(kIn, 0, 0), usb.Data(kData1, {0x12, 0x01, 0x10, 0x01, 0x00, 0x00, 0x00, 0x08}), usb.Handshake(kAck);
        usb.Token(kOut, 0, 0), usb.Data(kData1, {}), usb.Handshake(kAck);
        break;
      case 3:
        usb.Token(kSetup, 0, 0), usb.Data(kData0, {0x00, 0x05, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}), usb.Handshake(kAck);
        usb.Token(kIn, 0, 0), usb.Data(kData1, {}), usb.Handshake(kAck);
        break;
      default:
        if (ms > 4 && ms % 2 == 0) {
          const auto key = static_cast<uint8_t>(ms % 4 == 0 ? 0x17 : 0x00);  // 't' down, then up
          usb.Token(kIn, 5, 1), usb.Data(ms % 4 == 0 ? kData0 : kData1, {0x00, 0x00, key, 0x00, 0x00, 0x00, 0x00, 0x00});
          usb.Handshake(kAck);
        } else if (ms > 4) {
          usb.Token(kIn, 5, 1), usb.Handshake(kNak);
        }
        break;
    }
  }
  usb.Idle();
}

// A PS/2 keyboard typing "tqla" (make and break codes) and the host setting
// its LEDs, acknowledged. The device changes data while the clock is high,
// the host while it is low.
void RenderPs2(std::vector<uint32_t>& words) {
  Bus bus(words, {kPs2Data, kPs2Clock}, 1u << kPs2Data | 1u << kPs2Clock);
  auto clockPulse = [&](int data, bool hostDrives) {
    if (!hostDrives) bus.Hold(kPs2Half / 2), bus.Set(kPs2Data, data), bus.Hold(kPs2Half / 2);
    else bus.Hold(kPs2Half);
    bus.Set(kPs2Clock, false);
    if (hostDrives) bus.Hold(kPs2Half / 2), bus.Set(kPs2Data, data), bus.Hold(kPs2Half / 2);
    else bus.Hold(kPs2Half);
    bus.Set(kPs2Clock, true);
  };
  auto frame = [&](uint8_t value, bool host) {
    const int parity = __builtin_popcount(value) % 2 == 0;
    if (!host) clockPulse(0, false);
    for (int k = 0; k < 8; ++k) clockPulse(value >> k & 1, host);
    clockPulse(parity, host);
    clockPulse(1, host);
    if (host) clockPulse(0, false);  // the keyboard's acknowledge
    bus.Hold(kPs2Half / 2);
    bus.Set(kPs2Data, true);
    bus.Hold(4 * kPs2Half);
  };
  bus.At(kMillisecond);
  for (uint8_t code : {0x2C, 0xF0, 0x2C, 0x15, 0xF0, 0x15, 0x4B, 0xF0, 0x4B, 0x1C, 0xF0, 0x1C}) frame(code, false);
  for (uint8_t command : {0xED, 0x02}) {
    bus.Hold(10 * kPs2Half);
    bus.Set(kPs2Clock, false), bus.Hold(kMillisecond / 10);  // request to send
    bus.Set(kPs2Data, false), bus.Hold(kPs2Half / 2);
    bus.Set(kPs2Clock, true);
    frame(command, true);
    bus.Hold(10 * kPs2Half);
    frame(0xFA, false);
  }
  bus.Hold(words.size());
}

}  // namespace

void RenderFieldbus(std::vector<uint32_t>& words) {
  RenderCan(words);
  RenderUsb(words);
  RenderPs2(words);
}

}  // namespace tqla::sim
