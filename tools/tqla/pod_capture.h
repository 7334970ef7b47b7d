// A buffered capture on a pod, as `tqla capture` and `tqla demo` take it:
// start, live status, stop, and the rotated samples as a capture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture.h"

namespace tqla::cli {

struct AnalogTrigger {
  uint32_t channel = 1;  // 1 CH1, 2 CH2
  bool rising = true;
  uint32_t level = 128;  // analog byte 0-255
};

struct CaptureSettings {
  std::optional<uint32_t> pod;  // the first pod listed when absent
  uint32_t digitalChannels = 16;  // 16, 8 or 0
  uint32_t analogChannels = 2;    // 2, 1 (CH1) or 0
  uint32_t rateHz = 24000000;
  uint32_t samples = 1u << 20;  // ring length, a multiple of 65536
  uint32_t post = 1u << 19;     // post-trigger samples (whole 65536s count)
  std::vector<std::pair<uint32_t, uint32_t>> steps;  // digital trigger: (mask, value) per step
  std::optional<AnalogTrigger> analogTrigger;
  bool glitchFilter = false;
  double timeoutSeconds = 0;  // 0: wait for the trigger without limit
  bool progress = true;       // live status on stderr when it is a terminal
};

// Parses a rate such as "24M", "24MHz", "500k" or "1000000" into Hz; the pod
// takes 1, 2, 3, 4, 6, 8, 12, 16 and 24 MHz. Throws UsageError.
uint32_t ParseRate(const std::string& text);

// Parses a duration such as "10ms", "2.5s", "100us" into seconds. Throws UsageError.
double ParseDuration(const std::string& text);

// Parses a digital trigger such as "0=1,3=0,5=r": levels (0, 1) must hold
// together; rising (r) or falling (f) edges add a step for the level before.
std::vector<std::pair<uint32_t, uint32_t>> ParseTrigger(const std::string& text);

// Parses an analog trigger "ch1>128" (rising through 128) or "ch2<100" (falling).
AnalogTrigger ParseAnalogTrigger(const std::string& text);

// How a capture ended. A capture cut short keeps what was captured and is
// marked so (Capture::cutShort).
enum class CaptureEnd {
  Complete,     // the pod's run ended by itself: trigger and post-trigger samples stored
  Interrupted,  // Ctrl-C
  TimedOut,     // no trigger within the time-out
};

struct PodCaptureStatus {
  uint32_t breaks = 0;  // the break count at the end
  CaptureEnd end = CaptureEnd::Complete;
  bool triggered = false;
};

// Runs the capture to its end, a time-out (counted until the trigger comes) or
// Ctrl-C, stops it and returns the rotated samples. Throws CliError, also when
// the run failed (the pod stopped answering): nothing is kept of it then.
Capture RunPodCapture(const CaptureSettings& settings, PodCaptureStatus* status);

}  // namespace tqla::cli
