// Block processing of a buffered capture: one 64 KiB block from an FX2
// through the pin maps (or the scope bytes) into the ring and the trigger
// engine's search of the batch, with a trigger that never fires so that every
// word is searched. Bytes per second are bytes of USB data taken in.
#include <benchmark/benchmark.h>

#include <vector>

#include "capture/block_processors.h"
#include "frame/sample_buffer.h"
#include "capture/capture_state.h"
#include "capture/trigger_engine.h"
#include "device/device_state.h"

namespace {

using namespace tqla;

constexpr uint32_t kRingWords = 1u << 20;

void Arm(std::vector<uint32_t>& ring, uint32_t mode, uint8_t trigger) {
  BuildPinMaps();
  captureRing = Ring{ring.data(), static_cast<uint32_t>(ring.size())};
  CaptureState& c = captureState;
  c.CaptureMode = mode;
  c.Running = 1;
  c.StreamMode = 0;
  c.SkipBlocks = 0;
  c.Triggered = 0;
  c.TriggerStep = 0;
  c.AnalogTriggerMode = trigger;
  c.AnalogTriggerChannel = 1;
  sampleBuffer.AnalogTriggerLevel = 250;
  c.AnalogTriggerState = 255;
  c.FirstAnalogBlock = 0;
  c.GlitchFilter = 0;
  // A step on a scope bit, which a digital-only capture never sets: every
  // word is searched and none meets it.
  c.TriggerStepCount = trigger == 1 && (mode & kDigitalBits) ? 1 : 0;
  c.TriggerMask[0] = 0x10000;
  c.TriggerValue[0] = 0x10000;
  c.ProcessedPointer = c.DigitalWritePointer = c.AnalogWritePointer = ring.data();
}

void Digital(benchmark::State& state) {
  std::vector<uint32_t> ring(kRingWords);
  std::vector<uint8_t> block(kBlockBytes);
  for (uint32_t i = 0; i < kBlockBytes; ++i) block[i] = static_cast<uint8_t>(i * 37 + (i >> 9));
  Arm(ring, static_cast<uint32_t>(state.range(0)), 1);
  for (auto _ : state) ProcessDigitalBlock(block.data());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlockBytes);
  captureState.Running = 0;
}
BENCHMARK(Digital)->Arg(kDigital16)->Arg(kDigital8)->ArgName("mode");

void Analog(benchmark::State& state) {
  std::vector<uint32_t> ring(kRingWords);
  std::vector<uint8_t> block(kBlockBytes);
  for (uint32_t i = 0; i < kBlockBytes; ++i) block[i] = static_cast<uint8_t>(100 + (i % 50));
  Arm(ring, static_cast<uint32_t>(state.range(0)), 1);
  for (auto _ : state) ProcessAnalogBlock(block.data());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlockBytes);
  captureState.Running = 0;
}
BENCHMARK(Analog)->Arg(kAnalog2)->Arg(kAnalog1)->ArgName("mode");

}  // namespace

BENCHMARK_MAIN();
