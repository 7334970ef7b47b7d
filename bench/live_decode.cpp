// tqla stream --decode: the live decoder over 64 M samples of a byte stream
// at 24 MHz, fed in the stream's 64 KiB blocks, its lines written to
// /dev/null. Items are samples: a rate well above 24 M/s leaves the stream
// time to spare. Argument: the number of decoders at once (serial; serial
// and I2C; serial, I2C and SPI) over the simulated pod's traffic.
#include <chrono>
#include <cstdio>
#include <thread>

#include "decoder_traffic.h"
#include "decoder_spec.h"
#include "live_decode.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace {

using namespace tqla::bench;

// 64 M samples of the simulated pod's demonstration traffic at 24 MHz (I2C on
// 0-1, SPI on 2-5, serial at 1.5 Mbaud on 6), captured once.
const std::vector<uint8_t>& DemoTraffic() {
  static std::vector<uint8_t> bytes;
  if (!bytes.empty()) return bytes;
  std::vector<uint32_t> words(kSamples);
  TqlaSimSetSource(TqlaSimAddPod(1), TQLA_SIM_SOURCE_DEMO);
  if (InitializeTQPod(1) && StartCapture(TQLA_CAPTURE_DIGITAL_16, 0, 1, 128, TQLA_RATE_CODE(24), 0, nullptr, 0,
                                         words.data(), kSamples, 0)) {
    char running = 1;
    for (int polls = 0; running && polls < 6000; ++polls) {
      CaptureStatus(nullptr, &running, nullptr, nullptr, nullptr, nullptr, nullptr);
      if (running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    StopCapture();
  }
  ClosePod();
  bytes.resize(kSamples);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(words[i]);
  return bytes;
}

void BM_LiveDecode(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = DemoTraffic();
  const char* kDecoders[] = {"uart:rx=6,baud=1500000", "i2c:scl=0,sda=1", "spi:cs=5,sck=2,mosi=3,miso=4"};
  std::FILE* out = std::fopen("/dev/null", "w");
  uint64_t lines = 0;
  for (auto _ : state) {
    std::vector<tqla::cli::DecoderSpec> specs;
    for (int k = 0; k < state.range(0); ++k) specs.push_back(tqla::cli::ParseDecoderSpec(kDecoders[k]));
    tqla::cli::LiveDecoder decoder(std::move(specs), 24000000, out);
    for (size_t at = 0; at < bytes.size(); at += 65536) {
      decoder.Add(bytes.data() + at, std::min<size_t>(65536, bytes.size() - at));
      decoder.Decode();
    }
    decoder.Finish();
    lines = decoder.linesPrinted();
  }
  std::fclose(out);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSamples);
  state.counters["lines"] = static_cast<double>(lines);
}

BENCHMARK(BM_LiveDecode)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
