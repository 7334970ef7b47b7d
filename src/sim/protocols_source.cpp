#include "sim/protocols_source.h"

#include <cstdio>
#include <initializer_list>

#include "sim/bus_lines.h"

namespace tqla::sim {
namespace {

constexpr uint32_t kScl = 0, kSda = 1;
constexpr uint32_t kSck = 2, kMosi = 3, kMiso = 4, kChipSelect = 5;
constexpr uint32_t kModbus = 6;
constexpr uint32_t kNmea = 7;
constexpr uint32_t kCan = 8;

constexpr double kMillisecond = 24000;
constexpr double kSerialBit = 24e6 / 115200;
constexpr double kI2cQuarter = 60;  // 100 kHz
constexpr double kSpiHalf = 12;     // 1 MHz
constexpr double kCanBit = 48;      // 500 kbit/s

// An asynchronous character: start bit, 8 data bits least significant first,
// an even parity bit when asked, one stop bit.
void SendCharacter(Bus& bus, uint32_t channel, uint8_t value, bool evenParity) {
  auto bit = [&](bool level) {
    bus.Set(channel, level);
    bus.Hold(kSerialBit);
  };
  bit(false);
  for (int k = 0; k < 8; ++k) bit((value >> k) & 1);
  if (evenParity) bit(__builtin_popcount(value) & 1);
  bit(true);
}

uint16_t ModbusCrc(const std::vector<uint8_t>& bytes) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

// A client's requests and the servers' responses, 1.75 ms of silence before
// each frame.
void RenderModbus(std::vector<uint32_t>& words) {
  Bus bus(words, {kModbus}, 1u << kModbus);
  const std::vector<std::vector<uint8_t>> frames = {
      {17, 3, 0x00, 0x6B, 0x00, 0x03},
      {17, 3, 6, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64},
      {1, 4, 0x00, 0x00, 0x00, 0x04},
      {1, 4, 8, 0x09, 0x01, 0x1F, 0x40, 0x04, 0x4C, 0x13, 0x88},  // 230.5 V, 8 A, 1100 W, 50 Hz
      {17, 6, 0x00, 0x01, 0x00, 0x03},
      {17, 6, 0x00, 0x01, 0x00, 0x03},
      {17, 16, 0x00, 0x01, 0x00, 0x02, 4, 0x00, 0x0A, 0x01, 0x02},
      {17, 16, 0x00, 0x01, 0x00, 0x02},
      {17, 3, 0x04, 0x00, 0x00, 0x01},
      {17, 0x83, 0x02},
      {17, 5, 0x00, 0xAC, 0xFF, 0x00},
      {17, 5, 0x00, 0xAC, 0xFF, 0x00},
  };
  for (std::vector<uint8_t> frame : frames) {
    bus.Hold(1.75 * kMillisecond);
    const uint16_t crc = ModbusCrc(frame);
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
    for (uint8_t b : frame) SendCharacter(bus, kModbus, b, true);
  }
  bus.Hold(static_cast<double>(words.size()));
}

// Sentences with their checksums, 5 ms apart.
void RenderNmea(std::vector<uint32_t>& words) {
  Bus bus(words, {kNmea}, 1u << kNmea);
  const char* sentences[] = {
      "GPGGA,092725.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,",
      "GPRMC,092725.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A",
      "GPGSA,A,3,04,05,09,12,24,,,,,,,,2.5,1.3,2.1",
  };
  bus.Hold(2 * kMillisecond);
  for (const char* body : sentences) {
    uint8_t checksum = 0;
    for (const char* c = body; *c; ++c) checksum ^= static_cast<uint8_t>(*c);
    char sentence[128];
    std::snprintf(sentence, sizeof sentence, "$%s*%02X\r\n", body, checksum);
    for (const char* c = sentence; *c; ++c) SendCharacter(bus, kNmea, static_cast<uint8_t>(*c), false);
    bus.Hold(5 * kMillisecond);
  }
  bus.Hold(static_cast<double>(words.size()));
}

// A host and a power supply at 0x40: the host drives the clock and every
// bit but the acknowledges and the bytes the supply sends back.
class I2cHost {
 public:
  explicit I2cHost(std::vector<uint32_t>& words) : bus_(words, {kScl, kSda}, 1u << kScl | 1u << kSda) {}
  void At(double sample) { bus_.At(sample); }
  void Write(std::initializer_list<uint8_t> bytes) {
    Start();
    Byte(kAddress << 1, true);
    for (uint8_t b : bytes) Byte(b, true);
    Stop();
  }
  // A command, a repeated START and the bytes read, the last not acknowledged.
  void Read(uint8_t command, std::initializer_list<uint8_t> bytes) {
    Start();
    Byte(kAddress << 1, true);
    Byte(command, true);
    Start();
    Byte(kAddress << 1 | 1, true);
    size_t left = bytes.size();
    for (uint8_t b : bytes) Byte(b, --left > 0);
    Stop();
  }

 private:
  static constexpr uint8_t kAddress = 0x40;
  void Drive(uint32_t channel, bool high, double quarters) {
    bus_.Set(channel, high);
    bus_.Hold(quarters * kI2cQuarter);
  }
  void Start() {
    Drive(kSda, true, 1), Drive(kScl, true, 1), Drive(kSda, false, 1), Drive(kScl, false, 1);
  }
  void Bit(bool b) { Drive(kSda, b, 1), Drive(kScl, true, 2), Drive(kScl, false, 1); }
  void Byte(uint8_t value, bool ack) {
    for (int k = 7; k >= 0; --k) Bit((value >> k) & 1);
    Bit(!ack);
  }
  void Stop() { Drive(kSda, false, 1), Drive(kScl, true, 1), Drive(kSda, true, 8); }
  Bus bus_;
};

void RenderPmbus(std::vector<uint32_t>& words) {
  I2cHost host(words);
  double at = kMillisecond / 2;
  auto next = [&] {
    host.At(at);
    at += 3 * kMillisecond;
  };
  next(), host.Write({0x00, 0x00});                     // PAGE 0
  next(), host.Write({0x01, 0x80});                     // OPERATION: on
  next(), host.Write({0x21, 0x00, 0xC0});               // VOUT_COMMAND 12 V (exponent -12)
  next(), host.Read(0x8B, {0x00, 0xC0});                // READ_VOUT
  next(), host.Read(0x8C, {0x16, 0xF0});                // READ_IOUT 5.5 A
  next(), host.Read(0x8D, {0x47, 0xF8});                // READ_TEMPERATURE_1 35.5 C
  next(), host.Read(0x78, {0x00});                      // STATUS_BYTE
  next(), host.Write({0x03});                           // CLEAR_FAULTS
  next(), host.Read(0x99, {4, 'A', 'C', 'M', 'E'});     // MFR_ID
  next(), host.Read(0x9A, {7, 'P', 'S', 'U', '-', '1', '2', 'V'});  // MFR_MODEL
  host.At(static_cast<double>(words.size()));
}

// A host and a NOR flash in mode 0: data change while the clock is low and
// are taken as it rises.
class SpiHost {
 public:
  explicit SpiHost(std::vector<uint32_t>& words) : bus_(words, {kSck, kMosi, kMiso, kChipSelect}, 1u << kChipSelect) {}
  void At(double sample) { bus_.At(sample); }
  void Command(std::vector<uint8_t> out, std::vector<uint8_t> in = {}) {
    in.resize(out.size(), 0xFF);
    bus_.Set(kChipSelect, false);
    bus_.Hold(kSpiHalf);
    for (size_t w = 0; w < out.size(); ++w) {
      for (int k = 7; k >= 0; --k) {
        bus_.Set(kMosi, (out[w] >> k) & 1);
        bus_.Set(kMiso, (in[w] >> k) & 1);
        bus_.Set(kSck, false);
        bus_.Hold(kSpiHalf);
        bus_.Set(kSck, true);
        bus_.Hold(kSpiHalf);
      }
    }
    bus_.Set(kSck, false);
    bus_.Hold(kSpiHalf);
    bus_.Set(kChipSelect, true);
    bus_.Set(kMosi, false);
    bus_.Set(kMiso, false);
  }

 private:
  Bus bus_;
};

void RenderFlash(std::vector<uint32_t>& words) {
  SpiHost host(words);
  std::vector<uint8_t> page(16), read(20, 0xFF), readOut(20, 0x00);
  readOut[0] = 0x03, readOut[2] = 0x10;
  for (uint8_t k = 0; k < 16; ++k) page[k] = read[4 + k] = static_cast<uint8_t>(k * 17);
  std::vector<uint8_t> program = {0x02, 0x00, 0x10, 0x00};
  program.insert(program.end(), page.begin(), page.end());
  double at = kMillisecond / 4;
  auto next = [&] {
    host.At(at);
    at += kMillisecond;
  };
  next(), host.Command({0x9F, 0, 0, 0}, {0xFF, 0xEF, 0x40, 0x18});  // JEDEC ID
  next(), host.Command({0x06});                                     // write enable
  next(), host.Command({0x20, 0x00, 0x10, 0x00});                   // erase the sector at 0x1000
  next(), host.Command({0x05, 0}, {0xFF, 0x03});                    // busy
  next(), host.Command({0x05, 0}, {0xFF, 0x00});                    // done
  next(), host.Command({0x06});
  next(), host.Command(program);
  next(), host.Command({0x05, 0}, {0xFF, 0x00});
  next(), host.Command(readOut, read);
  host.At(static_cast<double>(words.size()));
}

void RenderCanopen(std::vector<uint32_t>& words) {
  Bus bus(words, {kCan}, 1u << kCan);
  const CanFrame frames[] = {
      {0x000, false, false, {0x01, 0x00}},                                  // NMT: start all nodes
      {0x080, false, false, {}},                                            // SYNC
      {0x185, false, false, {0xE8, 0x03, 0x10, 0x27}},                      // TPDO1 of node 5
      {0x605, false, false, {0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0}},          // SDO: upload 1000.00
      {0x585, false, false, {0x43, 0x00, 0x10, 0x00, 0x92, 0x01, 0x02, 0x00}},
      {0x705, false, false, {0x05}},                                        // heartbeat: operational
      {0x085, false, false, {0x10, 0x81, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00}},  // EMCY: CAN overrun
      {0x080, false, false, {}},
  };
  double at = 1.5 * kMillisecond;
  for (const CanFrame& f : frames) {
    bus.At(at);
    SendCan(bus, kCan, kCanBit, f);
    at += 2.5 * kMillisecond;
  }
  bus.Hold(static_cast<double>(words.size()));
}

}  // namespace

void RenderProtocolsTraffic(std::vector<uint32_t>& words) {
  RenderPmbus(words);
  RenderFlash(words);
  RenderModbus(words);
  RenderNmea(words);
  RenderCanopen(words);
}

}  // namespace tqla::sim
