// Decoding with the shipped protocol definitions: 64 M samples at 24 MHz of a
// Modbus RTU line at 115200 baud (8E1), a client's read requests and a
// server's responses of ten registers, each frame after the 1.75 ms of
// silence Modbus keeps above 19200 baud; decoded by the serial decoder and cut
// into packets by modbus-rtu, and by modbus-meter, which also hands every
// register to a layer of its own. Items are samples; the packets counter is
// the number of packet records written per run.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "decoder_traffic.h"
#include "frame/console.h"
#include "tqla/tqla.h"

namespace {

using namespace tqla::bench;

constexpr int kLine = 6;

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : frame) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  frame.push_back(crc & 0xFF);
  frame.push_back(crc >> 8);
  return frame;
}

void Send(Builder& b, const std::vector<uint8_t>& frame) {
  const double bit = kRate / 115200;
  for (uint8_t byte : frame) {
    b.Set(kLine, false), b.Hold(bit);
    for (int k = 0; k < 8; ++k) b.Set(kLine, (byte >> k) & 1), b.Hold(bit);
    b.Set(kLine, __builtin_popcount(byte) & 1), b.Hold(bit);
    b.Set(kLine, true), b.Hold(bit);
  }
}

// A request, the silence, its response; Samples() adds the silence after it.
void Exchange(Builder& b, uint32_t n) {
  const auto start = static_cast<uint8_t>(n);
  Send(b, WithCrc({17, 3, 0x00, start, 0x00, 10}));
  b.Hold(1.75e-3 * kRate);
  std::vector<uint8_t> response = {17, 3, 20};
  for (int r = 0; r < 20; ++r) response.push_back(static_cast<uint8_t>(n * 7 + r));
  Send(b, WithCrc(response));
}

std::string Definition(const char* name) {
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "protocols" / name).string() + ".txt";
}

void BM_ModbusPackets(benchmark::State& state, const char* name) {
  auto& words = Samples(1u << kLine, 1.75e-3, Exchange);
  std::string protocol = Definition(name);
  std::string packets = "/tmp/tqla_protocols_bench_" + std::to_string(getpid()) + ".txt";
  // The engine's trace lines go where tqla decode sends them.
  std::FILE* console = std::fopen("/dev/null", "w");
  tqla::SetConsoleStream(console);
  char error[256] = "";
  Run(state, words, [&](uint32_t* w, uint8_t* out) {
    return DecodeASYNC(w, out, 0, kSamples, 247, 1u << kLine, 115200, 3, 8, 1, 1, 0, 16, protocol.data(),
                       packets.data(), error);
  });
  tqla::SetConsoleStream(nullptr);
  std::fclose(console);
  if (error[0]) state.SkipWithError(error);
  std::ifstream written(packets);
  int64_t records = 0;
  for (std::string line; std::getline(written, line);) ++records;
  state.counters["packets"] = static_cast<double>(records);
  std::remove(packets.c_str());
}

BENCHMARK_CAPTURE(BM_ModbusPackets, modbus_rtu, "modbus-rtu")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ModbusPackets, modbus_meter, "modbus-meter")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
