// The tool's capture file: the library's configuration layout with fields
// chosen by the tool (docs/capture-file.md), holding every sample of a
// capture, and the lease that shows those samples to the library's exports.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sample_words.h"

namespace tqla::cli {

inline constexpr char kCaptureIdentification[] = "tqla capture";
inline constexpr uint8_t kCaptureFormatVersion = 1;
// Fixed offsets of the configuration layout.
inline constexpr uint64_t kCaptureHeadBytes = 232;
// The stored length counts bytes in 32 bits.
inline constexpr uint32_t kMaxCaptureSamples = 0x3FFFFFFFu;

enum AnalogChannel : uint8_t { kCh1InUse = 1, kCh2InUse = 2 };

// Volts per step of a scope byte (offset binary around 128).
inline constexpr double kVoltsPerStep = 0.078125;

struct Capture {
  SampleWords samples;
  uint32_t rateHz = 1000000;
  std::optional<uint32_t> trigger;  // index of the trigger sample
  uint8_t analogChannels = kCh1InUse | kCh2InUse;
  std::string created;  // UTC, "YYYY-MM-DDTHH:MM:SSZ"; empty for now on saving
  // Why the capture ended before it was complete ("Ctrl-C", "time-out"), kept
  // in the file as "cut short: " and the reason; empty for a complete capture.
  std::string cutShort;
  // Names of the digital channels where a file gave them (a session file of
  // another analyzer); empty for d0..d15.
  std::array<std::string, 16> names;
};

// The pod's rate code for a rate (MHz x 10 + 7), 0 for a rate the pod lacks.
uint8_t RateCode(uint32_t rateHz);

// The current time as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow();

// Throw CliError with a message naming the file.
void SaveCapture(const std::string& path, const Capture& capture);
Capture LoadCapture(const std::string& path);

// Makes samples the library's current sample buffer, all of them captured,
// for the exports that read the buffer; puts the previous one back after (as
// a host's array, all of it captured).
class SampleBufferLease {
 public:
  SampleBufferLease(uint32_t* words, size_t count);
  explicit SampleBufferLease(std::vector<uint32_t>& samples) : SampleBufferLease(samples.data(), samples.size()) {}
  explicit SampleBufferLease(SampleWords& samples) : SampleBufferLease(samples.data(), samples.size()) {}
  ~SampleBufferLease();
  SampleBufferLease(const SampleBufferLease&) = delete;
  SampleBufferLease& operator=(const SampleBufferLease&) = delete;

 private:
  uint32_t previousLength_ = 0;
  uint32_t* previousBuffer_;
};

}  // namespace tqla::cli
