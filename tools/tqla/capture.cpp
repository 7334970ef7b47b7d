#include "capture.h"

#include <cstring>
#include <ctime>
#include <filesystem>

#include "cli.h"
#include "data/capture_file.h"
#include "frame/sample_buffer.h"

namespace tqla::cli {

namespace {

// Field assignment; docs/capture-file.md is the user's copy of this table.
constexpr int kTextIdentification = 0;
constexpr int kTextCreated = 1;
constexpr int kTextCutShort = 2;
constexpr char kCutShortPrefix[] = "cut short: ";
constexpr int kByteRateCode = 0;
constexpr int kByteAnalogChannels = 1;
constexpr int kWordRateHz = 0;
constexpr int kWordSampleCount = 1;
constexpr int kWordTriggerIndex = 2;
constexpr uint32_t kNoTrigger = 0xFFFFFFFFu;

struct RawHead {
  char text[8][20] = {};
  uint8_t version = 0;
  uint32_t storedLength = 0;
  uint8_t bytes[35] = {};
  uint32_t words[8] = {};

  CaptureFileFields Fields() {
    CaptureFileFields f;
    for (int i = 0; i < 8; ++i) f.text[i] = text[i];
    f.headerByte = &version;
    f.storedLength = &storedLength;
    for (int i = 0; i < 35; ++i) f.configBytes[i] = &bytes[i];
    for (int i = 0; i < 8; ++i) f.configWords[i] = &words[i];
    return f;
  }
};

std::string TextField(const char (&field)[20]) { return std::string(field, strnlen(field, sizeof field)); }

}  // namespace

uint8_t RateCode(uint32_t rateHz) {
  static constexpr uint32_t kMegahertz[] = {1, 2, 3, 4, 6, 8, 12, 16, 24};
  for (uint32_t mhz : kMegahertz)
    if (rateHz == mhz * 1000000u) return static_cast<uint8_t>(mhz * 10 + 7);
  return 0;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

void SaveCapture(const std::string& path, const Capture& capture) {
  if (capture.samples.size() > kMaxCaptureSamples)
    throw CliError(path + ": a capture file holds at most " + std::to_string(kMaxCaptureSamples) + " samples");
  if (capture.rateHz == 0) throw CliError(path + ": the sample rate must not be 0");
  const auto count = static_cast<uint32_t>(capture.samples.size());
  RawHead head;
  std::memcpy(head.text[kTextIdentification], kCaptureIdentification, sizeof kCaptureIdentification);
  const std::string created = capture.created.empty() ? UtcNow() : capture.created;
  std::memcpy(head.text[kTextCreated], created.data(), std::min<size_t>(created.size(), 20));
  if (!capture.cutShort.empty()) {
    const std::string mark = kCutShortPrefix + capture.cutShort;
    std::memcpy(head.text[kTextCutShort], mark.data(), std::min<size_t>(mark.size(), 20));
  }
  head.version = kCaptureFormatVersion;
  head.storedLength = count * 4;
  head.bytes[kByteRateCode] = RateCode(capture.rateHz);
  head.bytes[kByteAnalogChannels] = capture.analogChannels & (kCh1InUse | kCh2InUse);
  head.words[kWordRateHz] = capture.rateHz;
  head.words[kWordSampleCount] = count;
  head.words[kWordTriggerIndex] = capture.trigger ? *capture.trigger : kNoTrigger;
  const uint64_t bytes = uint64_t{count} * 4;
  PartialOutputGuard partial({path});
  if (!WriteCaptureFile(path.c_str(), CaptureLayout::Config, head.Fields(), bytes, capture.samples.data(), bytes,
                        nullptr, 0))
    throw CliError("cannot write " + path + ": " + std::strerror(errno));
  partial.Keep();
}

Capture LoadCapture(const std::string& path) {
  RequireRegularFile(path);
  std::error_code error;
  const uint64_t fileSize = std::filesystem::file_size(path, error);
  if (error) throw CliError(path + ": " + error.message());

  RawHead head;
  CaptureFileFields fields = head.Fields();
  if (!ReadCaptureFile(path.c_str(), CaptureLayout::Config, fields, 0, false, nullptr, 0, nullptr, 0).opened)
    throw CliError("cannot open " + path + ": " + std::strerror(errno));
  char expected[20] = {};
  std::memcpy(expected, kCaptureIdentification, sizeof kCaptureIdentification);
  if (std::memcmp(head.text[kTextIdentification], expected, 20) != 0)
    throw CliError(path + ": not a tqla capture file");
  if (fileSize < kCaptureHeadBytes)
    throw CliError(path + ": truncated capture file (" + std::to_string(fileSize) + " bytes, the head alone is " +
                   std::to_string(kCaptureHeadBytes) + ")");
  if (head.version != kCaptureFormatVersion)
    throw CliError(path + ": capture format version " + std::to_string(head.version) + " is not supported (this tool reads version " +
                   std::to_string(kCaptureFormatVersion) + ")");
  const uint32_t count = head.words[kWordSampleCount];
  if (count > kMaxCaptureSamples || head.storedLength != count * 4)
    throw CliError(path + ": damaged capture file (stored length " + std::to_string(head.storedLength) +
                   " does not match " + std::to_string(count) + " samples)");
  const uint64_t expectedSize = kCaptureHeadBytes + uint64_t{head.storedLength};
  if (fileSize < expectedSize)
    throw CliError(path + ": truncated capture file (" + std::to_string(fileSize) + " bytes, expected " +
                   std::to_string(expectedSize) + ")");
  if (fileSize > expectedSize)
    throw CliError(path + ": damaged capture file (" + std::to_string(fileSize - expectedSize) +
                   " bytes after the samples)");
  const uint32_t rate = head.words[kWordRateHz];
  if (rate == 0) throw CliError(path + ": damaged capture file (sample rate 0)");
  if (head.bytes[kByteRateCode] != 0 && head.bytes[kByteRateCode] != RateCode(rate))
    throw CliError(path + ": damaged capture file (rate code " + std::to_string(head.bytes[kByteRateCode]) +
                   " does not match " + std::to_string(rate) + " Hz)");
  const uint32_t trigger = head.words[kWordTriggerIndex];
  if (trigger != kNoTrigger && trigger >= count)
    throw CliError(path + ": damaged capture file (trigger index " + std::to_string(trigger) + " past the samples)");

  Capture capture;
  capture.rateHz = rate;
  capture.analogChannels = head.bytes[kByteAnalogChannels] & (kCh1InUse | kCh2InUse);
  if (trigger != kNoTrigger) capture.trigger = trigger;
  capture.created = TextField(head.text[kTextCreated]);
  // Any text in the field marks the capture as cut short.
  capture.cutShort = TextField(head.text[kTextCutShort]);
  if (capture.cutShort.rfind(kCutShortPrefix, 0) == 0 && capture.cutShort.size() > sizeof kCutShortPrefix - 1)
    capture.cutShort.erase(0, sizeof kCutShortPrefix - 1);
  capture.samples.resize(count);
  const uint64_t bytes = uint64_t{count} * 4;
  const CaptureFileRead read = ReadCaptureFile(path.c_str(), CaptureLayout::Config, head.Fields(), bytes, false,
                                               capture.samples.data(), bytes, nullptr, 0);
  if (!read.opened || read.dataBytes != bytes)
    throw CliError(path + ": reading the samples failed (" + std::to_string(read.dataBytes) + " of " +
                   std::to_string(bytes) + " bytes)");
  return capture;
}

SampleBufferLease::SampleBufferLease(std::vector<uint32_t>& samples)
    : previousBuffer_(sampleBuffer.SampleBuffer),
      previousLength_(sampleBuffer.BufferLength),
      previousStorage_(sampleBuffer.StorageWords),
      previousCaptured_(sampleBuffer.CapturedLength.load()) {
  const auto count = static_cast<uint32_t>(samples.size());
  SetCurrentBuffer(samples.empty() ? nullptr : samples.data(), count, count);
  sampleBuffer.CapturedLength.store(count);
}

SampleBufferLease::~SampleBufferLease() {
  SetCurrentBuffer(previousBuffer_, previousLength_, previousStorage_);
  sampleBuffer.CapturedLength.store(previousCaptured_);
}

}  // namespace tqla::cli
