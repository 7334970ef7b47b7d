#include "capture.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli.h"
#include "session_file.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

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

  // SaveFileDataAndConfig or OpenFileDataAndConfig with every field of the
  // head as its variable.
  template <class Call>
  int32_t With(Call call, const char* path) {
    uint8_t* c = bytes;
    uint32_t* w = words;
    return call(text[0], text[1], text[2], text[3], text[4], text[5], text[6], text[7], &version, &storedLength,
                &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7], &c[8], &c[9], &c[10], &c[11], &c[12],
                &c[13], &c[14], &c[15], &c[16], &c[17], &c[18], &c[19], &c[20], &c[21], &c[22], &c[23], &c[24],
                &c[25], &c[26], &c[27], &c[28], &c[29], &c[30], &c[31], &c[32], &c[33], &c[34], &w[0], &w[1], &w[2],
                &w[3], &w[4], &w[5], &w[6], &w[7], path);
  }
};

// Room for count words whose whole 2 MiB pages the kernel may back with huge
// pages: filling 96 MB then takes tens of page faults, not tens of thousands.
void ReserveInHugePages(SampleWords& words, size_t count) {
  words.reserve(count);
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const auto begin = (reinterpret_cast<uintptr_t>(words.data()) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<uintptr_t>(words.data() + count)) & ~(kHuge - 1);
  if (end > begin) AdviseHugePages(reinterpret_cast<void*>(begin), end - begin);
}

// What the library said about a file it could not read or write.
std::string Reason() {
  const char* reason = TqlaLastError();
  return reason && reason[0] ? reason : std::strerror(errno);
}

std::string TextField(const char (&field)[20]) { return std::string(field, strnlen(field, sizeof field)); }

}  // namespace

uint8_t RateCode(uint32_t rateHz) {
  static constexpr uint32_t kMegahertz[] = {1, 2, 3, 4, 6, 8, 12, 16, 24};
  for (uint32_t mhz : kMegahertz)
    if (rateHz == mhz * 1000000u) return static_cast<uint8_t>(mhz * 10 + 7);
  return 0;
}

std::string UtcNow() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
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
  PartialOutputGuard partial({path});
  {
    // The library saves the current buffer: the capture's samples for now.
    SampleWords& samples = const_cast<SampleWords&>(capture.samples);
    // Saving over the file the samples are mapped from cuts the pages being
    // written: hold them first.
    if (!samples.MappedPath().empty()) {
      const FileStamp from = StampOf(samples.MappedPath()), to = StampOf(path);
      if (to.regular && from.device == to.device && from.inode == to.inode) samples.Hold();
    }
    SampleBufferLease lease(samples);
    // This layout stores BufferLength bytes: every sample is 4 of them.
    TqlaSetBufferLength(count * 4);
    if (!head.With(SaveFileDataAndConfig, path.c_str())) throw CliError("cannot write " + path + ": " + Reason());
  }
  partial.Keep();
}

Capture LoadCapture(const std::string& path) {
  RequireRegularFile(path);
  // Other analyzers' session files have a reader of their own.
  if (IsSessionFile(path)) return LoadSessionFile(path);
  std::error_code error;
  const uint64_t fileSize = std::filesystem::file_size(path, error);
  if (error) throw CliError(path + ": " + error.message());

  // The head first, into an empty buffer; the samples once their count is known.
  RawHead head;
  {
    std::vector<uint32_t> none;
    SampleBufferLease lease(none);
    if (!head.With(OpenFileDataAndConfig, path.c_str()) && TqlaLastError()[0])
      throw CliError("cannot open " + path + ": " + Reason());
  }
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
  // A file the system can map is read where it lies; else it is read into
  // fresh memory of huge pages.
  if (count > 0 && capture.samples.Map(path, kCaptureHeadBytes, count)) return capture;
  ReserveInHugePages(capture.samples, count);
  capture.samples.resize(count);
  const uint64_t bytes = uint64_t{count} * 4;
  int32_t read = 0;
  {
    RawHead again;
    SampleBufferLease lease(capture.samples);
    read = again.With(OpenFileDataAndConfig, path.c_str());
  }
  if (static_cast<uint64_t>(read) != bytes)
    throw CliError(path + ": reading the samples failed (" + std::to_string(read) + " of " + std::to_string(bytes) +
                   " bytes)");
  return capture;
}

SampleBufferLease::SampleBufferLease(uint32_t* words, size_t count)
    : previousBuffer_(TqlaCurrentBuffer(&previousLength_)) {
  TqlaUseBuffer(count ? words : nullptr, static_cast<uint32_t>(count));
}

SampleBufferLease::~SampleBufferLease() {
  TqlaUseBuffer(previousBuffer_, previousBuffer_ ? previousLength_ : 0);
}

}  // namespace tqla::cli
