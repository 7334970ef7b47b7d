// How fast the pod and the host's USB path capture without losing data.
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

namespace {

constexpr uint32_t kTestAreaWords = (1u << 20) / sizeof(uint32_t);
constexpr uint32_t kTestRingWords = 65536;
constexpr uint32_t kTestPost = 32768;
constexpr auto kTestDuration = std::chrono::milliseconds(5000);
constexpr uint8_t kRatesFastestFirst[] = {247, 167, 127, 87, 67, 47, 37, 27, 17};

// The current sample buffer as it was before a diagnostic run, put back after.
class KeepCurrentBuffer {
 public:
  KeepCurrentBuffer()
      : words_(sampleBuffer.SampleBuffer),
        length_(sampleBuffer.BufferLength),
        storage_(sampleBuffer.StorageWords),
        captured_(sampleBuffer.CapturedLength.load()) {}
  ~KeepCurrentBuffer() {
    SetCurrentBuffer(words_, length_, storage_);
    sampleBuffer.CapturedLength.store(captured_);
  }
  KeepCurrentBuffer(const KeepCurrentBuffer&) = delete;
  KeepCurrentBuffer& operator=(const KeepCurrentBuffer&) = delete;

 private:
  uint32_t* words_;
  uint32_t length_, storage_, captured_;
};

}  // namespace

extern "C" {

// The host's current sample buffer is made current again afterwards.
int32_t TQLA_API TestIt(uint8_t rate) {
  return Guarded<int32_t>("TestIt", 0, [&]() -> int32_t {
    KeepCurrentBuffer keep;
    auto area = std::make_unique<uint32_t[]>(kTestAreaWords);
    uint32_t stepArea[10] = {};
    if (!StartCapture(1, 0, 0, 0, rate, 0, stepArea, -1, area.get(), kTestRingWords, kTestPost)) return 0;
    std::this_thread::sleep_for(kTestDuration);
    const int32_t breaks = CaptureStatus(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    const int32_t result = breaks != 0 ? 0 : rate;
    // Threads that never stopped may still write the area: it is left to them.
    if (!StopCapture()) {
      area.release();
      return 0;
    }
    return result;
  });
}

int32_t TQLA_API SpeedTest(void) {
  return Guarded<int32_t>("SpeedTest", 0, [] {
    for (uint8_t rate : kRatesFastestFirst) {
      if (TestIt(rate) == rate) return static_cast<int32_t>(rate);
    }
    return 0;
  });
}

}  // extern "C"
