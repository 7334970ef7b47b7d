#include "pod_capture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "cli.h"
#include "pod.h"
#include "terminal.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

double ParseNumberWithSuffix(const std::string& text, const std::string& what, std::string* suffix) {
  size_t used = 0;
  double value = 0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    throw UsageError("bad " + what + " '" + text + "'");
  }
  if (!std::isfinite(value) || value < 0) throw UsageError("bad " + what + " '" + text + "'");
  *suffix = text.substr(used);
  return value;
}

}  // namespace

uint32_t ParseRate(const std::string& text) {
  std::string suffix;
  double value = ParseNumberWithSuffix(text, "rate", &suffix);
  if (suffix == "M" || suffix == "MHz" || suffix == "m") value *= 1e6;
  else if (suffix == "k" || suffix == "kHz" || suffix == "K") value *= 1e3;
  else if (suffix != "" && suffix != "Hz") throw UsageError("bad rate '" + text + "'");
  const auto hz = static_cast<uint32_t>(std::llround(value));
  if (std::fabs(value - hz) > 0.5 || RateCode(hz) == 0)
    throw UsageError("the pod samples at 1, 2, 3, 4, 6, 8, 12, 16 or 24 MHz, not " + text);
  return hz;
}

double ParseDuration(const std::string& text) {
  std::string suffix;
  const double value = ParseNumberWithSuffix(text, "duration", &suffix);
  if (suffix == "s" || suffix.empty()) return value;
  if (suffix == "ms") return value * 1e-3;
  if (suffix == "us") return value * 1e-6;
  if (suffix == "ns") return value * 1e-9;
  throw UsageError("bad duration '" + text + "' (units s, ms, us, ns)");
}

std::vector<std::pair<uint32_t, uint32_t>> ParseTrigger(const std::string& text) {
  uint32_t levelMask = 0, levelValue = 0, edgeMask = 0, edgeBefore = 0;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    const size_t equals = item.find('=');
    if (equals == std::string::npos || equals + 2 != item.size())
      throw UsageError("bad trigger '" + item + "' (write CHANNEL=0, 1, r or f)");
    const uint32_t channel = static_cast<uint32_t>(ParseUnsigned("trigger channel", item.substr(0, equals), 15));
    const uint32_t bit = 1u << channel;
    if ((levelMask | edgeMask) & bit) throw UsageError("channel " + std::to_string(channel) + " appears twice");
    switch (item[equals + 1]) {
      case '0': levelMask |= bit; break;
      case '1': levelMask |= bit, levelValue |= bit; break;
      case 'r': edgeMask |= bit; break;
      case 'f': edgeMask |= bit, edgeBefore |= bit; break;
      default: throw UsageError("bad trigger '" + item + "' (the pod triggers on 0, 1, r or f)");
    }
    at = comma + 1;
  }
  const uint32_t mask = levelMask | edgeMask;
  if (edgeMask == 0) return {{mask, levelValue}};
  // An edge is the level before it in one word and the level after it in the next.
  return {{mask, levelValue | edgeBefore}, {mask, levelValue | (edgeMask & ~edgeBefore)}};
}

AnalogTrigger ParseAnalogTrigger(const std::string& text) {
  AnalogTrigger trigger;
  const size_t op = text.find_first_of("<>");
  const std::string channel = text.substr(0, op);
  if (op == std::string::npos || (channel != "ch1" && channel != "ch2" && channel != "CH1" && channel != "CH2"))
    throw UsageError("bad analog trigger '" + text + "' (write ch1>LEVEL or ch2<LEVEL)");
  trigger.channel = channel.back() == '1' ? TQLA_CH1 : TQLA_CH2;
  trigger.rising = text[op] == '>';
  trigger.level = static_cast<uint32_t>(ParseUnsigned("analog trigger level", text.substr(op + 1), 255));
  return trigger;
}

Capture RunPodCapture(const CaptureSettings& s, PodCaptureStatus* status) {
  const uint32_t mode = (s.digitalChannels == 16  ? TQLA_CAPTURE_DIGITAL_16
                         : s.digitalChannels == 8 ? TQLA_CAPTURE_DIGITAL_8
                                                  : TQLA_CAPTURE_DIGITAL_NONE) |
                        (s.analogChannels == 2   ? TQLA_CAPTURE_ANALOG_2
                         : s.analogChannels == 1 ? TQLA_CAPTURE_ANALOG_1
                                                 : TQLA_CAPTURE_ANALOG_NONE);
  if (mode == 0) throw UsageError("a capture needs digital or analog channels");
  // Trigger mode: 0 triggers at once; with steps any nonzero mode lets them decide.
  uint32_t trigger = TQLA_TRIGGER_NONE, channel = TQLA_CH1, level = TQLA_SCOPE_ZERO;
  if (s.analogTrigger) {
    trigger = s.analogTrigger->rising ? TQLA_TRIGGER_RISING : TQLA_TRIGGER_FALLING;
    channel = s.analogTrigger->channel;
    level = s.analogTrigger->level;
  }
  if (!s.steps.empty()) trigger = trigger ? trigger : TQLA_TRIGGER_RISING;
  if (s.glitchFilter) trigger |= TQLA_TRIGGER_GLITCH_FILTER;
  std::vector<uint32_t> steps;
  for (const auto& [mask, value] : s.steps) steps.push_back(mask), steps.push_back(value);

  OpenPod pod(s.pod);
  std::vector<uint32_t> ring(s.samples);
  InterruptGuard interrupts;
  if (!StartCapture(mode, trigger, channel, level, RateCode(s.rateHz), 0, steps.empty() ? nullptr : steps.data(),
                    static_cast<int32_t>(s.steps.size()), ring.data(), s.samples, s.post))
    throw CliError("the pod did not start the capture (--verbose shows why)");

  const bool live = s.progress && IsTerminal(stderr);
  const auto begin = std::chrono::steady_clock::now();
  char brk = 0, running = 1, triggered = 0, percent = 0;
  int32_t start = 0, end = 0, at = 0;
  int32_t breakCount = 0;
  CaptureEnd how = CaptureEnd::Complete;
  for (;;) {
    breakCount = CaptureStatus(&brk, &running, &triggered, &start, &end, &at, &percent);
    if (live)
      std::fprintf(stderr, "\rcapturing: %-20s breaks %d   ",
                   triggered ? ("triggered, " + std::to_string(static_cast<int>(percent)) + "%").c_str()
                             : "waiting for trigger",
                   std::max(breakCount, 0));
    if (!running || breakCount < 0) break;
    if (InterruptGuard::Interrupted()) {
      how = CaptureEnd::Interrupted;
      break;
    }
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (s.timeoutSeconds > 0 && !triggered && waited > s.timeoutSeconds) {
      how = CaptureEnd::TimedOut;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (live) std::fprintf(stderr, "\r%60s\r", "");
  const bool wasTriggered = triggered != 0;
  const bool stopped = StopCapture() != 0;
  // The count after the stop is the final one; a run that failed while it
  // was being stopped shows there too.
  const int32_t finalCount = CaptureStatus(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  breakCount = breakCount < 0 ? breakCount : finalCount;
  if (breakCount < 0)
    throw CliError("the capture failed: the pod stopped delivering samples (unplugged, or one FX2 fell behind the "
                   "other); nothing was saved (--verbose shows why)");
  if (!stopped) throw CliError("the capture did not stop in time (--verbose shows why)");

  Capture capture;
  const auto captured = static_cast<uint32_t>(GetActualCaptureLength());
  capture.samples.assign(ring.begin(), ring.begin() + std::min<uint32_t>(captured, s.samples));
  capture.rateHz = s.rateHz;
  capture.analogChannels = static_cast<uint8_t>(s.analogChannels == 2 ? kCh1InUse | kCh2InUse
                                                : s.analogChannels == 1 ? kCh1InUse
                                                                        : 0);
  const uint32_t triggerIndex = TqlaTriggerIndex();
  if (wasTriggered && (!s.steps.empty() || s.analogTrigger) && triggerIndex < capture.samples.size())
    capture.trigger = triggerIndex;
  if (how == CaptureEnd::Interrupted) capture.cutShort = "Ctrl-C";
  if (how == CaptureEnd::TimedOut) capture.cutShort = "time-out";
  if (status) *status = {static_cast<uint32_t>(breakCount), how, wasTriggered};
  return capture;
}

}  // namespace tqla::cli
