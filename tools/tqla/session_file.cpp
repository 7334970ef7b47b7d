#include "session_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "channel_names.h"
#include "cli.h"

#if TQLA_HAVE_LIBZIP
#include <zip.h>
#endif

namespace tqla::cli {

namespace {

constexpr char kZipMagic[4] = {'P', 'K', 3, 4};

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool IsSessionFile(const std::string& path) {
  if (EndsWith(path, ".sr")) return true;
  if (EndsWith(path, ".tqc")) return false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char head[4] = {};
  const bool zip = std::fread(head, 1, 4, file) == 4 && std::memcmp(head, kZipMagic, 4) == 0;
  std::fclose(file);
  return zip;
}

#if !TQLA_HAVE_LIBZIP

bool SessionFilesSupported() { return false; }

namespace {
[[noreturn]] void Unsupported(const std::string& path) {
  throw CliError(path + ": this tqla was built without libzip and cannot read or write .sr session files "
                        "(install libzip-dev and rebuild)");
}
}  // namespace

Capture LoadSessionFile(const std::string& path, uint64_t) { Unsupported(path); }
Capture ReadSessionArchive(const uint8_t*, size_t, const std::string& name, uint64_t) { Unsupported(name); }
void SaveSessionFile(const std::string& path, const Capture&, uint64_t, uint64_t) { Unsupported(path); }

#else

namespace {

// The largest metadata and version members read; the suite's are a few
// hundred bytes.
constexpr uint64_t kMaxTextMember = 1u << 20;
// Blocks the sample members are read in.
constexpr size_t kReadBlock = 1u << 20;
// Samples per logic chunk written.
constexpr uint64_t kChunkSamples = 1u << 22;
// The analog channels of a written file come after the 16 logic ones.
constexpr int kLogicProbes = 16;

struct ZipCloser {
  void operator()(zip_t* zip) const { zip_discard(zip); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;

struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// Reads member name of the archive in blocks, handing each to take; stops
// with CliError once more than limit bytes came (whatever the archive
// declares). Returns false when there is no such member.
template <class Take>
bool ReadMember(zip_t* zip, const std::string& archive, const std::string& name, uint64_t limit,
                const std::string& tooLarge, Take&& take) {
  const zip_int64_t index = zip_name_locate(zip, name.c_str(), 0);
  if (index < 0) return false;
  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0));
  if (!file) throw CliError(archive + ": cannot read " + name + " (" + zip_strerror(zip) + ")");
  std::vector<uint8_t> block(kReadBlock);
  uint64_t total = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(file.get(), block.data(), block.size());
    if (n < 0) throw CliError(archive + ": damaged member " + name + " (" + zip_file_strerror(file.get()) + ")");
    if (n == 0) break;
    total += static_cast<uint64_t>(n);
    if (total > limit) throw CliError(archive + ": " + tooLarge);
    take(block.data(), static_cast<size_t>(n));
  }
  return true;
}

std::optional<std::string> ReadText(zip_t* zip, const std::string& archive, const std::string& name) {
  std::string text;
  if (!ReadMember(zip, archive, name, kMaxTextMember, "the " + name + " member is larger than 1 MiB",
                  [&](const uint8_t* data, size_t n) { text.append(reinterpret_cast<const char*>(data), n); }))
    return std::nullopt;
  return text;
}

std::string Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return "";
  const size_t last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

// The keys of section [device 1].
std::map<std::string, std::string> DeviceSection(const std::string& metadata) {
  std::map<std::string, std::string> keys;
  bool inDevice = false;
  size_t at = 0;
  while (at < metadata.size()) {
    size_t end = metadata.find('\n', at);
    if (end == std::string::npos) end = metadata.size();
    const std::string line = Trim(std::string_view(metadata).substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      inDevice = line == "[device 1]";
      continue;
    }
    const size_t eq = line.find('=');
    if (!inDevice || eq == std::string::npos) continue;
    keys[Trim(std::string_view(line).substr(0, eq))] = Trim(std::string_view(line).substr(eq + 1));
  }
  return keys;
}

std::optional<uint64_t> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoull(text);
}

// "24 MHz", "200 kHz", "1000000", "1.5 MHz", "2 GHz": a rate in hertz, or
// nothing when it is not one or is not whole.
std::optional<uint64_t> ParseRate(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.'))
    ++digits;
  if (digits == 0 || digits > 24) return std::nullopt;
  std::string unit = Trim(std::string_view(text).substr(digits));
  if (EndsWith(unit, "Hz")) unit.erase(unit.size() - 2);
  unit = Trim(unit);
  double scale = 1;
  if (unit == "k" || unit == "K") scale = 1e3;
  else if (unit == "M") scale = 1e6;
  else if (unit == "G") scale = 1e9;
  else if (!unit.empty()) return std::nullopt;
  char* end = nullptr;
  const std::string number = text.substr(0, digits);
  const double value = std::strtod(number.c_str(), &end);
  if (end != number.c_str() + number.size()) return std::nullopt;
  const double hz = value * scale;
  if (!(hz >= 1 && hz < 1.8e19) || std::fabs(hz - std::round(hz)) > 1e-6 * hz) return std::nullopt;
  return static_cast<uint64_t>(std::llround(hz));
}

// A name from the file as the tool shows it: printable characters only.
std::string CleanName(const std::string& name) {
  std::string clean;
  for (char c : name)
    if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F && c != ',') clean += c;
  return clean.substr(0, 64);
}

uint8_t ScopeByte(float volts) {
  if (!std::isfinite(volts)) return 128;
  const double step = std::round(static_cast<double>(volts) / kVoltsPerStep) + 128;
  return static_cast<uint8_t>(std::clamp(step, 0.0, 255.0));
}

Capture ReadArchive(zip_t* zip, const std::string& archive, uint64_t maxSamples) {
  maxSamples = std::min<uint64_t>(maxSamples, kMaxCaptureSamples);
  const std::optional<std::string> version = ReadText(zip, archive, "version");
  if (!version) throw CliError(archive + ": not a session file (no version member)");
  if (Trim(*version) != "2" && Trim(*version) != "1")
    throw CliError(archive + ": session file version " + CleanName(Trim(*version)) +
                   " is not supported (this tool reads versions 1 and 2)");
  const std::optional<std::string> metadata = ReadText(zip, archive, "metadata");
  if (!metadata) throw CliError(archive + ": damaged session file (no metadata member)");
  const auto keys = DeviceSection(*metadata);
  auto key = [&](const std::string& name) -> std::string {
    const auto it = keys.find(name);
    return it == keys.end() ? "" : it->second;
  };

  Capture capture;
  capture.created.clear();
  const std::string rateText = key("samplerate");
  if (rateText.empty()) throw CliError(archive + ": the session file gives no sample rate");
  const std::optional<uint64_t> rate = ParseRate(rateText);
  if (!rate || *rate > UINT32_MAX)
    throw CliError(archive + ": sample rate '" + CleanName(rateText) + "' is not a whole number of hertz up to 4 GHz");
  capture.rateHz = static_cast<uint32_t>(*rate);

  const std::optional<uint64_t> probes = WholeNumber(key("total probes").empty() ? "0" : key("total probes"));
  const std::optional<uint64_t> analogTotal = WholeNumber(key("total analog").empty() ? "0" : key("total analog"));
  if (!probes || !analogTotal || *probes > 4096 || *analogTotal > 4096)
    throw CliError(archive + ": damaged session file (channel counts '" + CleanName(key("total probes")) + "', '" +
                   CleanName(key("total analog")) + "')");
  if (*probes > 16)
    throw CliError(archive + ": the session holds " + std::to_string(*probes) +
                   " logic channels; tqla reads at most 16");
  uint64_t unitSize = 0;
  if (*probes > 0) {
    const std::optional<uint64_t> unit = WholeNumber(key("unitsize"));
    if (!unit || *unit < 1 || *unit > 4)
      throw CliError(archive + ": unit size '" + CleanName(key("unitsize")) + "' is not 1 to 4 bytes per sample");
    if (*unit * 8 < *probes)
      throw CliError(archive + ": damaged session file (" + std::to_string(*probes) + " logic channels in " +
                     std::to_string(*unit) + " bytes per sample)");
    unitSize = *unit;
  }
  for (uint64_t p = 1; p <= *probes; ++p) capture.names[p - 1] = CleanName(key("probe" + std::to_string(p)));

  // The logic samples: one member (version 1) or numbered chunks.
  std::vector<uint32_t> samples;
  const std::string tooLong = "the session holds more than " + std::to_string(maxSamples) + " samples";
  uint64_t logicSamples = 0;
  if (unitSize > 0) {
    const std::string prefix = key("capturefile").empty() ? "logic-1" : key("capturefile");
    uint8_t partial[4];
    size_t partialBytes = 0;
    auto take = [&](const uint8_t* data, size_t n) {
      for (size_t k = 0; k < n; ++k) {
        partial[partialBytes++] = data[k];
        if (partialBytes < unitSize) continue;
        uint32_t word = 0;
        for (size_t b = 0; b < std::min<uint64_t>(unitSize, 2); ++b) word |= uint32_t{partial[b]} << (8 * b);
        samples.push_back(word | 0x80800000u);
        partialBytes = 0;
      }
    };
    const uint64_t limit = maxSamples * unitSize;
    auto readChunk = [&](const std::string& name) {
      const uint64_t already = samples.size() * unitSize;
      return ReadMember(zip, archive, name, limit - already, tooLong, take);
    };
    bool any = readChunk(prefix);
    for (uint64_t chunk = 1; readChunk(prefix + "-" + std::to_string(chunk)); ++chunk) any = true;
    if (!any) throw CliError(archive + ": damaged session file (no " + prefix + " samples)");
    if (partialBytes != 0)
      throw CliError(archive + ": damaged session file (the logic samples end inside a sample of " +
                     std::to_string(unitSize) + " bytes)");
    logicSamples = samples.size();
  }

  // Two analog channels, as CH1 and CH2: those named so, else the first two.
  capture.analogChannels = 0;
  std::map<uint64_t, std::string> analog;  // by probe number
  for (const auto& [name, value] : keys) {
    if (name.rfind("analog", 0) != 0) continue;
    const std::optional<uint64_t> p = WholeNumber(name.substr(6));
    if (p && *p >= 1 && *p <= 8192) analog[*p] = value;
  }
  std::optional<uint64_t> scopeProbe[2];
  for (const auto& [p, name] : analog)
    if (name == "CH1" || name == "CH2") scopeProbe[name == "CH1" ? 0 : 1] = p;
  for (const auto& [p, name] : analog) {
    if (name == "CH1" || name == "CH2") continue;
    for (auto& slot : scopeProbe)
      if (!slot) {
        slot = p;
        break;
      }
  }
  for (int scopeChannel = 0; scopeChannel < 2; ++scopeChannel) {
    if (!scopeProbe[scopeChannel]) continue;
    const uint64_t p = *scopeProbe[scopeChannel];
    const int shift = 16 + 8 * scopeChannel;
    uint64_t index = 0;
    uint8_t partial[4];
    size_t partialBytes = 0;
    const uint64_t limit = (unitSize > 0 ? logicSamples : maxSamples) * 4;
    auto take = [&](const uint8_t* data, size_t n) {
      for (size_t k = 0; k < n; ++k) {
        partial[partialBytes++] = data[k];
        if (partialBytes < 4) continue;
        partialBytes = 0;
        const uint32_t bits = uint32_t{partial[0]} | uint32_t{partial[1]} << 8 | uint32_t{partial[2]} << 16 |
                              uint32_t{partial[3]} << 24;
        float volts;
        std::memcpy(&volts, &bits, 4);
        if (index == samples.size()) samples.push_back(0x80800000u);
        samples[index] = (samples[index] & ~(0xFFu << shift)) | uint32_t{ScopeByte(volts)} << shift;
        ++index;
      }
    };
    const std::string prefix = "analog-1-" + std::to_string(p) + "-";
    for (uint64_t chunk = 1;; ++chunk) {
      const uint64_t already = index * 4 + partialBytes;
      if (!ReadMember(zip, archive, prefix + std::to_string(chunk), limit - already,
                      "analog channel " + std::to_string(p) + " holds more samples than the logic channels", take))
        break;
    }
    if (index > 0) capture.analogChannels |= scopeChannel == 0 ? kCh1InUse : kCh2InUse;
  }
  if (samples.empty()) throw CliError(archive + ": the session file holds no samples");
  capture.samples = SampleWords(std::move(samples));
  return capture;
}

std::string ZipError(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

Capture ReadGuarded(zip_t* zip, const std::string& archive, uint64_t maxSamples) {
  ZipHandle handle(zip);
  try {
    return ReadArchive(zip, archive, maxSamples);
  } catch (const std::bad_alloc&) {
    throw CliError(archive + ": not enough memory for the session's samples");
  }
}

std::string Floats(const SampleWords& samples, uint64_t from, uint64_t to, int shift) {
  std::string bytes;
  bytes.resize((to - from) * 4);
  for (uint64_t i = from; i < to; ++i) {
    const float volts = static_cast<float>((static_cast<int>((samples[i] >> shift) & 0xFF) - 128) * kVoltsPerStep);
    uint32_t bits;
    std::memcpy(&bits, &volts, 4);
    for (int b = 0; b < 4; ++b) bytes[(i - from) * 4 + b] = static_cast<char>(bits >> (8 * b));
  }
  return bytes;
}

std::string RateText(uint32_t hz) {
  if (hz % 1000000000u == 0) return std::to_string(hz / 1000000000u) + " GHz";
  if (hz % 1000000 == 0) return std::to_string(hz / 1000000) + " MHz";
  if (hz % 1000 == 0) return std::to_string(hz / 1000) + " kHz";
  return std::to_string(hz) + " Hz";
}

}  // namespace

bool SessionFilesSupported() { return true; }

Capture LoadSessionFile(const std::string& path, uint64_t maxSamples) {
  RequireRegularFile(path);
  int code = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (!zip) throw CliError(path + ": not a session file (" + ZipError(code) + ")");
  return ReadGuarded(zip, path, maxSamples);
}

Capture ReadSessionArchive(const uint8_t* data, size_t size, const std::string& name, uint64_t maxSamples) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
  if (!source) {
    zip_error_fini(&error);
    throw CliError(name + ": cannot read the archive");
  }
  zip_t* zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!zip) {
    const std::string reason = zip_error_strerror(&error);
    zip_source_free(source);
    zip_error_fini(&error);
    throw CliError(name + ": not a session file (" + reason + ")");
  }
  zip_error_fini(&error);
  return ReadGuarded(zip, name, maxSamples);
}

void SaveSessionFile(const std::string& path, const Capture& capture, uint64_t from, uint64_t to) {
  if (path.empty() || path == "-") throw UsageError("a session file (-O sr) needs -o FILE: it cannot go to a pipe");
  to = std::min<uint64_t>(to, capture.samples.size());
  if (from >= to) throw CliError("nothing to export: the capture has " + std::to_string(capture.samples.size()) +
                                 " samples");
  // Every member's bytes live until the archive is closed.
  std::vector<std::string> members;
  std::vector<std::string> names;
  auto add = [&](std::string name, std::string bytes) {
    names.push_back(std::move(name));
    members.push_back(std::move(bytes));
  };
  add("version", "2");
  std::string metadata = "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal probes=16\n";
  metadata += "samplerate=" + RateText(capture.rateHz) + "\n";
  const bool ch1 = capture.analogChannels & kCh1InUse, ch2 = capture.analogChannels & kCh2InUse;
  metadata += "total analog=" + std::to_string(int{ch1} + int{ch2}) + "\n";
  for (int c = 0; c < kLogicProbes; ++c)
    metadata += "probe" + std::to_string(c + 1) + "=" + ChannelName(capture.names, c) + "\n";
  if (ch1) metadata += "analog" + std::to_string(kLogicProbes + 1) + "=CH1\n";
  if (ch2) metadata += "analog" + std::to_string(kLogicProbes + 2) + "=CH2\n";
  metadata += "unitsize=2\n";
  add("metadata", metadata);
  uint64_t chunk = 1;
  for (uint64_t at = from; at < to; at += kChunkSamples, ++chunk) {
    const uint64_t end = std::min(to, at + kChunkSamples);
    std::string bytes((end - at) * 2, '\0');
    for (uint64_t i = at; i < end; ++i) {
      bytes[(i - at) * 2] = static_cast<char>(capture.samples[i]);
      bytes[(i - at) * 2 + 1] = static_cast<char>(capture.samples[i] >> 8);
    }
    add("logic-1-" + std::to_string(chunk), std::move(bytes));
    if (ch1) add("analog-1-" + std::to_string(kLogicProbes + 1) + "-" + std::to_string(chunk),
                 Floats(capture.samples, at, end, 16));
    if (ch2) add("analog-1-" + std::to_string(kLogicProbes + 2) + "-" + std::to_string(chunk),
                 Floats(capture.samples, at, end, 24));
  }

  // libzip writes a temporary file beside path and renames it on closing:
  // a failed export leaves nothing behind.
  int code = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (!zip) throw CliError("cannot write " + path + ": " + ZipError(code));
  ZipHandle handle(zip);
  for (size_t k = 0; k < members.size(); ++k) {
    zip_source_t* source = zip_source_buffer(zip, members[k].data(), members[k].size(), 0);
    if (!source || zip_file_add(zip, names[k].c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
      if (source) zip_source_free(source);
      throw CliError("cannot write " + path + ": " + zip_strerror(zip));
    }
  }
  if (zip_close(zip) < 0) throw CliError("cannot write " + path + ": " + zip_strerror(zip));
  handle.release();
}

#endif

}  // namespace tqla::cli
