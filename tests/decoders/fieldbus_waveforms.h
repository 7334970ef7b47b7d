// Independent transmitters for CAN, USB and PS/2: each builds its bus's bit
// sequence from the fields (CRCs, bit stuffing, NRZI) and drives the lines at
// times in seconds, as the bus's own hardware would.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "waveforms.h"

namespace tqla::test {

// ---- CAN ----

struct CanFrame {
  uint32_t id = 0;
  bool extended = false;
  bool remote = false;
  uint32_t dlc = 0;  // 0-15; data frames carry min(dlc, 8) bytes
  std::vector<uint8_t> data;
  bool acked = true;
};

// The frame's bits from SOF to the end of the CRC, before stuffing; then
// CRC delimiter, ACK slot, ACK delimiter and the end of frame.
inline std::vector<int> CanBits(const CanFrame& f) {
  std::vector<int> bits;
  auto put = [&](uint32_t value, int width) {
    for (int k = width - 1; k >= 0; --k) bits.push_back((value >> k) & 1);
  };
  put(0, 1);  // SOF
  if (f.extended) {
    put(f.id >> 18, 11), put(1, 1), put(1, 1), put(f.id & 0x3FFFF, 18), put(f.remote, 1), put(0, 2);
  } else {
    put(f.id, 11), put(f.remote, 1), put(0, 2);
  }
  put(f.dlc, 4);
  if (!f.remote) {
    for (uint32_t k = 0; k < f.dlc && k < 8; ++k) put(f.data[k], 8);
  }
  uint32_t crc = 0;
  for (int bit : bits) {
    const bool top = ((crc >> 14) & 1) != static_cast<bool>(bit);
    crc = (crc << 1) & 0x7FFF;
    if (top) crc ^= 0x4599;
  }
  put(crc, 15);
  return bits;
}

struct CanStuffing {
  int inIdentifier = 0;  // stuff bits among the identifier's bits
  int inCrc = 0;         // stuff bits after the first CRC bit
};

class CanTransmitter {
 public:
  CanTransmitter(Lines& lines, int channel, double bitRate, double sampleRate, uint32_t seed)
      : t(2e-5 + 0.5 / sampleRate), lines_(lines), channel_(channel), bit_(1 / bitRate), sample_(1 / sampleRate),
        random_(seed) {}

  // Edges move by up to one sample either way (from half-way between two
  // samples, so that rounding adds nothing).
  void Jitter(bool on) { jitter_ = on; }
  double t;
  CanStuffing stuffing;

  void Frame(const CanFrame& f) {
    for (int bit : Stuffed(f)) Send(bit);
    Send(1), Send(f.acked ? 0 : 1), Send(1);
    for (int k = 0; k < 7 + 3; ++k) Send(1);  // end of frame, intermission
  }

  // A frame broken off after count bits on the bus by an error flag and the
  // other nodes' echo, then the error delimiter and intermission.
  void ErrorAfter(const CanFrame& f, size_t count) {
    const std::vector<int> bits = Stuffed(f);
    for (size_t k = 0; k < count && k < bits.size(); ++k) Send(bits[k]);
    for (int k = 0; k < 12; ++k) Send(0);
    for (int k = 0; k < 8 + 3; ++k) Send(1);
  }

  // Dominant from the idle bus for count bits (an overload flag and its echo).
  void Dominant(int count) {
    for (int k = 0; k < count; ++k) Send(0);
    for (int k = 0; k < 8 + 3; ++k) Send(1);
  }

  void Idle(double seconds) { t += seconds; }

 private:
  // SOF to the end of the CRC as on the bus: after five equal bits one of
  // the other level.
  std::vector<int> Stuffed(const CanFrame& f) {
    const std::vector<int> bits = CanBits(f);
    const size_t crcStart = bits.size() - 15;
    const size_t idEnd = f.extended ? 32 : 12;
    std::vector<int> out;
    int level = 1, run = 0;
    for (size_t k = 0; k < bits.size(); ++k) {
      out.push_back(bits[k]);
      run = bits[k] == level ? run + 1 : 1;
      level = bits[k];
      if (run == 5) {
        if (k > 0 && k < idEnd) ++stuffing.inIdentifier;
        if (k >= crcStart && k + 1 < bits.size()) ++stuffing.inCrc;
        level = !level;
        run = 1;
        out.push_back(level);
      }
    }
    return out;
  }

  void Send(int bit) {
    double at = t;
    if (jitter_) at += sample_ * (static_cast<int>(random_() % 3) - 1);
    lines_.At(at, channel_, bit);
    t += bit_;
  }

  Lines& lines_;
  int channel_;
  double bit_;
  double sample_;
  std::mt19937 random_;
  bool jitter_ = false;
};

// ---- USB ----

namespace usbpid {
constexpr uint8_t kOut = 0xE1, kIn = 0x69, kSof = 0xA5, kSetup = 0x2D, kData0 = 0xC3, kData1 = 0x4B, kAck = 0xD2,
                  kNak = 0x5A, kStall = 0x1E;
}

// A USB transceiver at low or full speed: packets are SYNC, PID and fields
// least significant bit first, CRCs, bit stuffing after six ones and NRZI
// on the lines, each closed by SE0 for two bit times and a J.
class UsbHost {
 public:
  UsbHost(Lines& lines, int dPlus, int dMinus, bool fullSpeed, double sampleRate, uint32_t seed)
      : t(2e-6 + 0.5 / sampleRate),
        lines_(lines),
        dPlus_(dPlus),
        dMinus_(dMinus),
        full_(fullSpeed),
        bit_(fullSpeed ? 1 / 12e6 : 1 / 1.5e6),
        sample_(1 / sampleRate),
        random_(seed) {}
  // The idle (J) state's word bits.
  static uint32_t Idle(int dPlus, int dMinus, bool fullSpeed) { return 1u << (fullSpeed ? dPlus : dMinus); }

  double t;  // half-way between two samples, so that rounding moves no edge
  int stuffedBits = 0;

  // A token's bits before stuffing: SYNC, PID, address, endpoint, CRC5.
  static std::vector<int> TokenBits(uint8_t pid, uint32_t address, uint32_t endpoint) {
    std::vector<int> bits = Start(pid);
    Put(bits, address, 7), Put(bits, endpoint, 4);
    Put(bits, Crc5(address | endpoint << 7, 11), 5);
    return bits;
  }
  static std::vector<int> HandshakeBits(uint8_t pid) { return Start(pid); }

  void Token(uint8_t pid, uint32_t address, uint32_t endpoint) { Send(TokenBits(pid, address, endpoint)); }
  void Sof(uint32_t frame) {
    std::vector<int> bits = Start(usbpid::kSof);
    Put(bits, frame, 11), Put(bits, Crc5(frame, 11), 5);
    Send(bits);
  }
  void Data(uint8_t pid, const std::vector<uint8_t>& payload) {
    std::vector<int> bits = Start(pid);
    uint32_t crc = 0xFFFF;
    for (uint8_t byte : payload) {
      Put(bits, byte, 8);
      for (int k = 0; k < 8; ++k) crc = ((crc ^ (byte >> k)) & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    Put(bits, crc ^ 0xFFFF, 16);
    Send(bits);
  }
  void Handshake(uint8_t pid) { Send(HandshakeBits(pid)); }
  // A low-speed keep-alive: an end of packet alone.
  void KeepAlive() { EndOfPacket(); }
  void Reset(double seconds) {
    Drive(false, false);
    t += seconds;
    Drive(full_, !full_);
    t += 10 * bit_;
  }

 private:
  static void Put(std::vector<int>& bits, uint32_t value, int width) {
    for (int k = 0; k < width; ++k) bits.push_back((value >> k) & 1);
  }
  static uint32_t Crc5(uint32_t value, int width) {
    uint32_t crc = 0x1F;
    for (int k = 0; k < width; ++k) crc = ((crc ^ (value >> k)) & 1) ? (crc >> 1) ^ 0x14 : crc >> 1;
    return crc ^ 0x1F;
  }
  static std::vector<int> Start(uint8_t pid) {
    std::vector<int> bits;
    Put(bits, 0x80, 8);  // SYNC: seven transitions, then none
    Put(bits, pid, 8);
    return bits;
  }
  void Drive(bool dPlus, bool dMinus) {
    lines_.At(t, dPlus_, dPlus);
    lines_.At(t, dMinus_, dMinus);
  }
  // NRZI from the idle J: a 0 toggles the line, a 1 keeps it.
  void Send(const std::vector<int>& bits) {
    bool j = true;
    int ones = 0;
    auto level = [&](bool toggle) {
      if (toggle) j = !j;
      const bool dPlusHigh = full_ ? j : !j;
      Drive(dPlusHigh, !dPlusHigh);
      t += bit_;
    };
    for (int bit : bits) {
      level(bit == 0);
      ones = bit ? ones + 1 : 0;
      if (ones == 6) {
        level(true);
        ones = 0;
        ++stuffedBits;
      }
    }
    EndOfPacket();
  }
  // SE0 for two bit times give or take a sample, a J, then a few idle bits.
  void EndOfPacket() {
    Drive(false, false);
    t += 2 * bit_ + sample_ * (static_cast<int>(random_() % 3) - 1);
    Drive(full_, !full_);
    t += bit_ * (3 + random_() % 4);
  }

  Lines& lines_;
  int dPlus_, dMinus_;
  bool full_;
  double bit_;
  double sample_;
  std::mt19937 random_;
};

// ---- PS/2 ----

// A PS/2 keyboard and its host: the device clocks every bit; device-to-host
// data changes while the clock is high, host-to-device data while it is low.
class Ps2Link {
 public:
  Ps2Link(Lines& lines, int data, int clock, double clockRate) : lines_(lines), data_(data), clock_(clock), half_(0.5 / clockRate) {}
  double t = 5e-5;

  void DeviceByte(uint8_t value, bool parityOk = true, bool stopOk = true) {
    Frame({0, value, Parity(value) ^ !parityOk, stopOk});
  }
  // The host holds the clock low between bytes (once the device's last clock
  // pulse is over).
  void Inhibit(double seconds) {
    t += half_;
    lines_.At(t, clock_, false);
    t += seconds;
    lines_.At(t, clock_, true);
    t += 2 * half_;
  }
  // Request to send, the command, and the device's acknowledge.
  void HostCommand(uint8_t value, bool acknowledged = true) {
    t += half_;
    lines_.At(t, clock_, false);
    t += 100e-6;
    lines_.At(t, data_, false);
    t += half_ / 2;
    lines_.At(t, clock_, true);  // the start bit is read as the host lets go
    const int bits[10] = {value & 1, value >> 1 & 1, value >> 2 & 1, value >> 3 & 1, value >> 4 & 1,
                          value >> 5 & 1, value >> 6 & 1, value >> 7 & 1, Parity(value), 1};
    for (int bit : bits) {
      t += half_;
      lines_.At(t, clock_, false);
      lines_.At(t + half_ / 2, data_, bit);
      t += half_;
      lines_.At(t, clock_, true);
    }
    lines_.At(t + half_ / 2, data_, !acknowledged);
    t += half_;
    lines_.At(t, clock_, false);
    t += half_;
    lines_.At(t, clock_, true);
    lines_.At(t + half_ / 2, data_, true);
    t += 2 * half_;
  }

 private:
  static int Parity(uint8_t value) { return __builtin_popcount(value) % 2 == 0; }

  struct Bits {
    int start;
    uint8_t value;
    int parity;
    bool stop;
  };
  void Frame(const Bits& b) {
    int bits[11] = {b.start, 0, 0, 0, 0, 0, 0, 0, 0, b.parity, b.stop};
    for (int k = 0; k < 8; ++k) bits[1 + k] = b.value >> k & 1;
    for (int bit : bits) {
      lines_.At(t + half_ / 2, data_, bit);  // halfway through the clock's high time
      t += half_;
      lines_.At(t, clock_, false);
      t += half_;
      lines_.At(t, clock_, true);
    }
    lines_.At(t + half_ / 2, data_, true);
  }

  Lines& lines_;
  int data_, clock_;
  double half_;
};

}  // namespace tqla::test
