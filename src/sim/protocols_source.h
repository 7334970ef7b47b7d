// The simulated pod's demonstration of the protocol definitions (protocols/):
// the traffic of a small plant, timed for a capture at 24 MHz, one period of
// 1048576 samples (43.7 ms; a default capture of the tool holds it).
//
// Channel wiring:
//   0-1  SMBus/PMBus at 100 kHz, SCL 0 and SDA 1: a host and a power supply at
//        address 0x40 (page and operation writes, output voltage and current,
//        temperature and status reads, clearing faults, the maker's ID as a
//        block read)
//   2-5  SPI NOR flash at 1 MHz, mode 0: clock 2, MOSI 3, MISO 4, chip select
//        5 (JEDEC ID, write enable, a sector erase with status polls, a page
//        program and a read back)
//   6    Modbus RTU at 115200 baud, 8E1: a client reading and writing
//        registers of server 17, reading an energy meter at address 1 (four
//        input registers) and receiving an exception
//   7    NMEA 0183 at 115200 baud, 8N1: a GNSS receiver's GGA, RMC and GSA
//        sentences
//   8    CANopen at 500 kbit/s: NMT start, SYNC, a PDO, an SDO upload of the
//        device type, a heartbeat and an emergency
// Every bus is idle at both ends, so the traffic loops.
#pragma once

#include <cstdint>
#include <vector>

namespace tqla::sim {

constexpr uint32_t kProtocolsPeriod = 1048576;

// Draws the traffic into the digital bits of words (kProtocolsPeriod of them),
// leaving the other bits alone.
void RenderProtocolsTraffic(std::vector<uint32_t>& words);

}  // namespace tqla::sim
