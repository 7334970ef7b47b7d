#include "live_decode.h"

#include <algorithm>
#include <cmath>

#include "bus_decoders.h"

namespace tqla::cli {

namespace {

// Runs wait for this many new samples unless forced.
constexpr uint64_t kBatch = 1u << 18;
// A bus quiet for this long after a line has finished it.
constexpr uint64_t kQuiet = 1u << 20;
// A held line that grows past this many samples is printed as it stands.
constexpr uint64_t kLongestLine = 1u << 24;

struct Collected {
  std::vector<std::pair<uint32_t, uint32_t>> spans;
  std::vector<std::string> texts;
};

void Collect(uint32_t first, uint32_t last, const char* line, void* user) {
  auto& c = *static_cast<Collected*>(user);
  c.spans.emplace_back(first, last);
  c.texts.emplace_back(line);
}

}  // namespace

std::string RecordTimestamp(uint64_t sample, uint32_t rateHz) {
  const double seconds = static_cast<double>(static_cast<int64_t>(sample)) / rateHz;
  static constexpr struct {
    double below, scale;
    int width, precision;
    const char* unit;
  } kUnits[] = {{1e-6, 1e9, 5, 1, "ns,"}, {0.001, 1e6, 5, 1, "us,"}, {1.0, 1000, 8, 4, "ms,"}, {0, 1, 11, 7, "s ,"}};
  int unit = 0;
  while (unit < 3 && !(std::fabs(seconds) < kUnits[unit].below)) ++unit;
  char text[64];
  std::snprintf(text, sizeof text, "%*.*f%s", kUnits[unit].width, kUnits[unit].precision,
                seconds * kUnits[unit].scale, kUnits[unit].unit);
  return text;
}

LiveDecoder::LiveDecoder(std::vector<DecoderSpec> specs, uint32_t rateHz, std::FILE* out)
    : rateHz_(rateHz), rateCode_(DecoderRateCode(rateHz)), out_(out) {
  for (DecoderSpec& spec : specs) {
    Track track;
    if (spec.bus == "spi8") throw UsageError("--decode " + spec.text + ": spi8 hands out no record lines; use spi");
    if (!spec.settings.Has("name")) {
      // Every line names its decoder.
      spec = ParseDecoderSpec(spec.text + (spec.text.find(':') == std::string::npos ? ":" : ",") + "name=" + spec.label);
    }
    track.spec = std::move(spec);
    // A 1-Wire line begins where a reset pulse ends: the run starts before
    // the pulse, which lasts 480 us or more.
    if (track.spec.bus == "1wire") track.lead = rateHz / 1000;
    track.quiet = kQuiet;
    if (track.spec.bus == "async") {
      const uint64_t baud = std::max<uint64_t>(1, track.spec.settings.Unsigned("baud", 115200));
      track.quiet = std::max<uint64_t>(kQuiet, 4 * 20 * (rateHz / baud + 1));
    }
    tracks_.push_back(std::move(track));
  }
}

void LiveDecoder::Add(const uint8_t* bytes, size_t count) {
  const size_t at = window_.size();
  window_.resize(at + count);
  for (size_t k = 0; k < count; ++k) window_[at + k] = bytes[k];
}

void LiveDecoder::Add(const uint32_t* words, size_t count) { window_.insert(window_.end(), words, words + count); }

void LiveDecoder::Run(Track& track, bool finishing, std::vector<Line>& out) {
  const uint64_t end = base_ + window_.size();
  if (track.resume >= end) return;
  Collected found;
  const auto from = static_cast<uint32_t>(track.resume - base_);
  RunDecoderSpec(track.spec, window_, from, static_cast<uint32_t>(window_.size()), rateCode_, record_.path(),
                 {Collect, nullptr, &found});
  size_t printable = found.texts.size();
  uint64_t resume = track.resume;
  if (!finishing) {
    if (printable > 0) {
      // The last line may go on in samples still to come.
      const auto [first, last] = found.spans.back();
      const uint64_t held = base_ + first;
      if (end - (base_ + last) > track.quiet || end - held > kLongestLine) {
        resume = std::max(resume, end - track.quiet);
      } else {
        --printable;
        resume = std::max(resume, held > track.lead ? held - track.lead : 0);
      }
    } else {
      resume = std::max(resume, end > track.quiet ? end - track.quiet : 0);
    }
  }
  for (size_t k = 0; k < printable; ++k) {
    const std::string& text = found.texts[k];
    // The library's timestamp counts from the window: the stream's goes in.
    const size_t comma = text.find(',');
    const uint64_t first = base_ + found.spans[k].first;
    out.push_back({first, base_ + found.spans[k].second,
                   comma == std::string::npos ? text : RecordTimestamp(first, rateHz_) + text.substr(comma + 1)});
  }
  track.resume = finishing ? end : resume;
}

void LiveDecoder::Drop() {
  uint64_t keepFrom = base_ + window_.size();
  for (const Track& t : tracks_) keepFrom = std::min(keepFrom, t.resume);
  if (keepFrom <= base_) return;
  window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(keepFrom - base_));
  base_ = keepFrom;
}

void LiveDecoder::Decode(bool force) {
  const uint64_t end = base_ + window_.size();
  if (end == decodedTo_ || (!force && end - decodedTo_ < kBatch)) return;
  decodedTo_ = end;
  std::vector<Line> lines;
  for (Track& track : tracks_) Run(track, false, lines);
  std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.first < b.first; });
  for (const Line& line : lines) {
    std::fprintf(out_, "%s\n", line.text.c_str());
    std::fflush(out_);
    ++printed_;
  }
  Drop();
}

void LiveDecoder::Finish() {
  std::vector<Line> lines;
  for (Track& track : tracks_) Run(track, true, lines);
  std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.first < b.first; });
  for (const Line& line : lines) {
    std::fprintf(out_, "%s\n", line.text.c_str());
    ++printed_;
  }
  std::fflush(out_);
  decodedTo_ = base_ + window_.size();
  Drop();
}

}  // namespace tqla::cli
