// Whole captures on the simulated pod with known source data: the rotated
// buffer must be the source around the trigger, for every channel
// configuration and trigger kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "frame/sample_buffer.h"
#include "sim_support.h"
#include "test_support.h"

namespace tqla {
namespace {

using test::PollFor;

constexpr uint32_t kRing = 262144;
constexpr uint32_t kPeriod = 1u << 20;
// Bits the random fill leaves clear: the digital step bits and, per case,
// the analog channel the edge is on.
constexpr uint32_t kStepBits = 0xC0;

enum class Kind { Steps, Rising, Falling, Mode0, Mode3 };

struct Case {
  const char* name;
  uint32_t mode;
  Kind kind;
  uint32_t triggerAt;  // source index of the trigger sample
  uint32_t post;
};

uint32_t CapturedBits(uint32_t mode) {
  uint32_t bits = 0;
  if ((mode & TQLA_CAPTURE_DIGITAL_MASK) == TQLA_CAPTURE_DIGITAL_16) bits |= 0xFFFF;
  if ((mode & TQLA_CAPTURE_DIGITAL_MASK) == TQLA_CAPTURE_DIGITAL_8) bits |= 0xFF;
  if ((mode & TQLA_CAPTURE_ANALOG_MASK) == TQLA_CAPTURE_ANALOG_2) bits |= 0xFFFF0000u;
  if ((mode & TQLA_CAPTURE_ANALOG_MASK) == TQLA_CAPTURE_ANALOG_1) bits |= 0x00FF0000u;
  return bits;
}

// Random words with the trigger's bits under control.
std::vector<uint32_t> Source(const Case& c) {
  std::vector<uint32_t> words(kPeriod);
  uint32_t x = 2463534242u;
  for (uint32_t i = 0; i < kPeriod; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    uint32_t w = x & ~kStepBits;
    if (c.kind == Kind::Rising) w = (w & 0xFF00FFFFu) | (i < c.triggerAt ? 100u : 200u) << 16;
    if (c.kind == Kind::Falling) w = (w & 0x00FFFFFFu) | (i < c.triggerAt ? 200u : 50u) << 24;
    words[i] = w;
  }
  if (c.kind == Kind::Steps) {
    words[c.triggerAt - 3] |= 0x40;
    words[c.triggerAt - 1] |= 0x40;
    words[c.triggerAt] |= 0x80;
  }
  return words;
}

class Capture : public test::OpenPodTest {
 protected:
  void SetUp() override {
    OpenPodTest::SetUp();
    buffer_ = MakeBuffer(kRing);
    ASSERT_NE(buffer_, nullptr);
  }
  void TearDown() override {
    StopCapture();
    DeleteBuffer(buffer_);
    SimBusTest::TearDown();
  }
  // Drain pacing: the pod hands out samples as fast as the threads read, and
  // the side that gets ahead waits for the other where it would lap it.
  int32_t Start(uint32_t mode, uint32_t trigger, uint32_t channel, std::vector<uint32_t> steps, uint32_t post) {
    TqlaSimSetRealTime(pod_, 0);
    return StartCapture(mode, trigger, channel, TQLA_SCOPE_ZERO, TQLA_RATE_24MHZ, 0, steps.data(),
                        static_cast<int32_t>(steps.size() / 2), buffer_, kRing, post);
  }
  bool Completes() {
    return PollFor([] { return captureState.Running == 0; }, std::chrono::seconds(20));
  }
  // Where word 0 of the buffer sits in the source, judged on the bits captured.
  // stride 2 reads a buffer that holds every second sample.
  std::optional<uint32_t> Base(const std::vector<uint32_t>& source, uint32_t bits, uint32_t stride = 1) {
    for (uint32_t b = 0; b < kPeriod; ++b) {
      bool match = true;
      for (uint32_t i = 4; i < 36 && match; ++i)
        match = ((buffer_[i] ^ source[(b + stride * i) % kPeriod]) & bits) == 0;
      if (match) return b;
    }
    return std::nullopt;
  }
  uint32_t* buffer_ = nullptr;
};

TEST_F(Capture, RotatedBufferIsTheSourceAroundTheTrigger) {
  const Case kCases[] = {
      {"16D+2A steps, stretched", TQLA_CAPTURE_DIGITAL_16 | TQLA_CAPTURE_ANALOG_2, Kind::Steps, 200000, 65536},
      {"16D+2A steps, ring wrapped", TQLA_CAPTURE_DIGITAL_16 | TQLA_CAPTURE_ANALOG_2, Kind::Steps, 700000, 65536},
      {"8D+2A rising CH1, wrapped", TQLA_CAPTURE_DIGITAL_8 | TQLA_CAPTURE_ANALOG_2, Kind::Rising, 700000, 131072},
      {"16D+1A rising CH1, stretched", TQLA_CAPTURE_DIGITAL_16 | TQLA_CAPTURE_ANALOG_1, Kind::Rising, 180000, 0},
      {"8D+1A steps, wrapped", TQLA_CAPTURE_DIGITAL_8 | TQLA_CAPTURE_ANALOG_1, Kind::Steps, 600000, 65536},
      {"16D steps, wrapped", TQLA_CAPTURE_DIGITAL_16, Kind::Steps, 500000, 65536},
      {"8D mode 0", TQLA_CAPTURE_DIGITAL_8, Kind::Mode0, 0, 65536},
      {"0D+2A falling CH2, wrapped", TQLA_CAPTURE_ANALOG_2, Kind::Falling, 650000, 65536},
      {"0D+1A mode 3", TQLA_CAPTURE_ANALOG_1, Kind::Mode3, 0, 65536},
      {"16D+2A mode 0, post below 65536", TQLA_CAPTURE_DIGITAL_16 | TQLA_CAPTURE_ANALOG_2, Kind::Mode0, 0, 1000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint32_t> source = Source(c);
    TqlaSimSetSamples(pod_, source.data(), kPeriod, 1);
    // Any trigger mode but 0 lets given steps decide.
    switch (c.kind) {
      case Kind::Steps:
        ASSERT_EQ(Start(c.mode, TQLA_TRIGGER_RISING, TQLA_CH1, {0x40, 0x40, 0x80, 0x80}, c.post), 1);
        break;
      case Kind::Rising:
        ASSERT_EQ(Start(c.mode, TQLA_TRIGGER_RISING, TQLA_CH1, {}, c.post), 1);
        break;
      case Kind::Falling:
        ASSERT_EQ(Start(c.mode, TQLA_TRIGGER_FALLING, TQLA_CH2, {}, c.post), 1);
        break;
      case Kind::Mode0:
        ASSERT_EQ(Start(c.mode, TQLA_TRIGGER_NONE, TQLA_CH1, {0x40, 0x40}, c.post), 1);
        break;
      case Kind::Mode3:
        ASSERT_EQ(Start(c.mode, TQLA_TRIGGER_DIGITAL, TQLA_CH1, {}, c.post), 1);
        break;
    }
    ASSERT_TRUE(Completes());
    char breaks = 0, running = 1, triggered = 0, percent = 0;
    int32_t start = 0, end = 0, at = 0;
    CaptureStatus(&breaks, &running, &triggered, &start, &end, &at, &percent);
    EXPECT_EQ(triggered, 1);
    EXPECT_EQ(running, 0);
    ASSERT_EQ(StopCapture(), 1);
    const uint32_t trigger = sampleBuffer.TriggerIndex;
    EXPECT_EQ(GetActualCaptureLength(), static_cast<int32_t>(kRing));

    const uint32_t bits = CapturedBits(c.mode) & ~(c.kind == Kind::Rising ? 0x00FF0000u : 0) &
                          ~(c.kind == Kind::Falling ? 0xFF000000u : 0);
    const std::optional<uint32_t> base = Base(source, bits);
    ASSERT_TRUE(base.has_value());
    for (uint32_t i = 0; i < kRing; ++i) {
      // The first samples of a run's first analog block are set to the fourth.
      const uint32_t checked = i < 3 ? bits & 0xFFFF : bits;
      ASSERT_EQ((buffer_[i] ^ source[(*base + i) % kPeriod]) & checked, 0u) << "word " << i;
    }
    switch (c.kind) {
      case Kind::Steps:
      case Kind::Rising:
      case Kind::Falling: EXPECT_EQ((*base + trigger) % kPeriod, c.triggerAt); break;
      case Kind::Mode0: EXPECT_EQ(trigger % 32768, 0u); break;
      case Kind::Mode3: EXPECT_EQ((trigger + 1) % 32768, 0u); break;
    }
    EXPECT_GE(kRing - trigger, (c.post & 0xFFFF0000u) + 1) << "post-trigger samples kept";
    EXPECT_GE(trigger, 32768u) << "pre-trigger samples kept";
  }
}

TEST_F(Capture, StopsApplyTheEepromCalibration) {
  // CH1: offset 100, gain 0.15625 V per step (twice the nominal); CH2: offset
  // 140, nominal gain. 24 fraction bits, little-endian.
  auto put = [&](uint32_t address, uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    ASSERT_EQ(TqlaSimSetEeprom(pod_, address, bytes, 4), 1);
  };
  put(96, 2621440);
  put(100, 1310720);
  put(104, 100u << 24);
  put(108, 140u << 24);
  const Case c{"calibration", 15, Kind::Mode0, 0, 65536};
  const std::vector<uint32_t> source = Source(c);
  TqlaSimSetSamples(pod_, source.data(), kPeriod, 1);
  ASSERT_EQ(Start(15, TQLA_TRIGGER_NONE, TQLA_CH1, {}, 65536), 1);
  ASSERT_TRUE(Completes());
  ASSERT_EQ(StopCapture(), 1);
  const std::optional<uint32_t> base = Base(source, 0xFFFF);
  ASSERT_TRUE(base.has_value());
  for (uint32_t i = 7; i < kRing; i += 7) {
    const uint32_t raw = source[(*base + i) % kPeriod];
    const int ch1 = std::clamp(((static_cast<int>(raw >> 16) & 0xFF) - 100) * 2 + 128, 0, 255);
    const int ch2 = std::clamp(static_cast<int>(raw >> 24) - 140 + 128, 0, 255);
    ASSERT_EQ(buffer_[i] >> 16 & 0xFF, static_cast<uint32_t>(ch1)) << i;
    ASSERT_EQ(buffer_[i] >> 24, static_cast<uint32_t>(ch2)) << i;
  }
}

TEST_F(Capture, StopCapture16SplitsWordPairs) {
  const Case c{"16", 15, Kind::Rising, 300000, 65536};
  const std::vector<uint32_t> source = Source(c);
  TqlaSimSetSamples(pod_, source.data(), kPeriod, 1);
  ASSERT_EQ(Start(15, TQLA_TRIGGER_RISING, TQLA_CH1, {}, 65536), 1);
  ASSERT_TRUE(Completes());
  ASSERT_EQ(StopCapture16(), 1);
  const uint32_t trigger = sampleBuffer.TriggerIndex;
  const std::optional<uint32_t> base = Base(source, 0xFFFF, 2);
  ASSERT_TRUE(base.has_value());
  const WordSpan second = ExistingSecondArray();
  ASSERT_GE(second.length, kRing / 2);
  for (uint32_t i = 0; i < kRing / 2; i += 5) {
    ASSERT_EQ(buffer_[i] & 0xFFFF, source[(*base + 2 * i) % kPeriod] & 0xFFFF);
    ASSERT_EQ(second.words[i] & 0xFFFF, source[(*base + 2 * i + 1) % kPeriod] & 0xFFFF);
  }
  EXPECT_EQ(GetActualCaptureLength(), static_cast<int32_t>(kRing / 2));
  // Halved, then five earlier for an analog trigger.
  EXPECT_EQ(trigger, (300000u - *base) / 2 - 5);
}

// A ring of two batches, captured again and again with both FX2 in use: the
// transfer threads race each other round it, in drain pacing (the faster
// side may get far ahead) and at the true rate. Each word of the source
// carries its index: the low 16 bits on the digital lines, the top 4 bits and
// a function of the whole on CH1/CH2. So every word shows whether both halves
// are the same sample, and whether it follows the word before.
TEST_F(Capture, SmallRingHoldsOnlySamplesThePodSentOnBothSides) {
  constexpr uint32_t kSmall = 65536;
  auto scope = [](uint32_t index) { return (index >> 16) | (index * 40503u & 0xFFF0); };
  std::vector<uint32_t> source(kPeriod);
  for (uint32_t i = 0; i < kPeriod; ++i) source[i] = (i & 0xFFFF) | scope(i) << 16;
  TqlaSimSetSamples(pod_, source.data(), kPeriod, 1);
  for (int realTime : {0, 1}) {
#if defined(__SANITIZE_THREAD__)
    if (realTime) GTEST_SKIP() << "at the true rate ThreadSanitizer's slowdown makes the pod lose data";
#endif
    TqlaSimSetRealTime(pod_, realTime);
    for (int run = 0; run < 100; ++run) {
      SCOPED_TRACE(testing::Message() << (realTime ? "true rate" : "drain") << ", run " << run);
      ASSERT_EQ(
          StartCapture(TQLA_CAPTURE_DIGITAL_16 | TQLA_CAPTURE_ANALOG_2, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO,
                       realTime ? TQLA_RATE_4MHZ : TQLA_RATE_24MHZ, 0, nullptr, 0, buffer_, kSmall, 0),
          1);
      ASSERT_TRUE(Completes());
      char breaks = 0;
      ASSERT_EQ(CaptureStatus(&breaks, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
      ASSERT_EQ(StopCapture(), 1);
      ASSERT_EQ(GetActualCaptureLength(), static_cast<int32_t>(kSmall));
      uint32_t previous = 0;
      for (uint32_t i = 0; i < kSmall; ++i) {
        const uint32_t index = (buffer_[i] & 0xFFFF) | (buffer_[i] >> 16 & 0xF) << 16;
        ASSERT_EQ(buffer_[i] >> 16, scope(index)) << "word " << i << ": the two FX2 on different samples";
        if (i) {
          ASSERT_EQ(index, (previous + 1) % kPeriod) << "word " << i << " out of order";
        }
        previous = index;
      }
    }
  }
}

TEST_F(Capture, RefusesWhatIsNoCapture) {
  const struct {
    uint32_t mode;
    int32_t stepCount;
    uint32_t length;
    bool nullBuffer;
  } kCases[] = {
      {2, 0, kRing, false},  {14, 0, kRing, false}, {8, 0, kRing, false},      {0, 0, kRing, false},
      {15, 9, kRing, false}, {15, -2, kRing, false}, {15, 0, 65537, false}, {15, 0, 0, false},
      {15, 0, kRing, true},
  };
  uint32_t steps[18] = {};
  for (const auto& c : kCases) {
    EXPECT_EQ(StartCapture(c.mode, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_24MHZ, 0, steps, c.stepCount,
                           c.nullBuffer ? nullptr : buffer_, c.length, 0),
              0)
        << c.mode << " " << c.stepCount << " " << c.length;
  }
  EXPECT_EQ(liveThreads.load(), 0);
  ClosePod();
  EXPECT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16 | TQLA_CAPTURE_ANALOG_2, TQLA_TRIGGER_NONE, TQLA_CH1, TQLA_SCOPE_ZERO,
                         TQLA_RATE_24MHZ, 0, steps, 0, buffer_, kRing, 0),
            0)
      << "no pod";
}

// A block the library made is known by its size: no capture may run past
// its end, and freeing it while a capture writes ends the run first, so
// neither the threads nor a later stop touch freed memory.
TEST_F(Capture, ItsOwnBlocksAreNeverWrittenPastOrAfterTheyAreFreed) {
  std::vector<uint32_t> steps = {0x8000, 0x8000};  // never met: the run goes on until stopped
  EXPECT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16, TQLA_TRIGGER_RISING, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_24MHZ, 0,
                         steps.data(), 1, buffer_, kRing + 65536, 0),
            0);
  EXPECT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16, TQLA_TRIGGER_RISING, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_24MHZ, 0,
                         steps.data(), 1, buffer_ + 65536, kRing, 0),
            0);
  EXPECT_EQ(liveThreads.load(), 0);

  uint32_t* block = MakeBuffer(131072);
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16, TQLA_TRIGGER_RISING, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_24MHZ, 0,
                         steps.data(), 1, block + 65536, 65536, 0),
            1);
  ASSERT_TRUE(PollFor([] { return sampleBuffer.CapturedLength.load() == 65536; }));
  EXPECT_EQ(DeleteBuffer(block), 1);
  EXPECT_EQ(liveThreads.load(), 0);
  EXPECT_EQ(captureState.Running, 0);
  EXPECT_EQ(StopCapture(), 1);
  EXPECT_EQ(DeleteBuffer(block), 0) << "freed once";
}

TEST_F(Capture, HostStopsBeforeTheTrigger) {
  // Real-time pacing at 1 MS/s; the trigger never fires, so the host stops it.
  TqlaSimSetRealTime(pod_, 1);
  std::vector<uint32_t> steps = {0x8000, 0x8000};
  ASSERT_EQ(StartCapture(TQLA_CAPTURE_DIGITAL_16, TQLA_TRIGGER_RISING, TQLA_CH1, TQLA_SCOPE_ZERO, TQLA_RATE_1MHZ, 0,
                         steps.data(), 1, buffer_, kRing, 0),
            1);
  ASSERT_TRUE(PollFor([] { return sampleBuffer.CapturedLength.load() > 0; }));
  char breaks = 1, running = 0;
  EXPECT_EQ(CaptureStatus(&breaks, &running, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(breaks, 0);
  EXPECT_EQ(running, 1);
  EXPECT_EQ(StopCapture(), 1);
  EXPECT_EQ(captureState.Triggered, 0);
  EXPECT_EQ(captureState.BothStopped, 1);
  EXPECT_TRUE(PollFor([] { return liveThreads.load() == 0; }));
}

}  // namespace
}  // namespace tqla
