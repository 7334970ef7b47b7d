#include "annotations.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

#include "bus_decoders.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

// What one decoder run handed out.
struct Found {
  struct Event {
    uint32_t sample;
    int32_t kind;
    uint32_t value;
    int32_t bits;
    int32_t channel;
  };
  struct Line {
    uint32_t first, last;
    std::string body;
  };
  std::vector<Event> events;
  std::vector<Line> lines;
};

constexpr int32_t kValue = 0;
constexpr uint32_t kEndOfData = TQLA_EVENT_END_OF_DATA;
constexpr uint32_t kFirstSignalEvent = TQLA_EVENT_SIGNAL(1, 0);  // the lowest signal event code

void TakeEvent(uint32_t sample, int32_t kind, uint32_t value, int32_t bits, int32_t channel, void* user) {
  if (kind != kValue && (value == kEndOfData || value >= kFirstSignalEvent)) return;
  static_cast<Found*>(user)->events.push_back({sample, kind, value, bits, channel});
}

// A record line is "TIME, NAME, BODY"; the timestamp text ends in its own comma.
void TakeLine(uint32_t first, uint32_t last, const char* line, void* user) {
  std::string text = line;
  const size_t afterTime = text.find(',');
  const size_t afterName = afterTime == std::string::npos ? std::string::npos : text.find(", ", afterTime + 1);
  std::string body = afterName == std::string::npos ? text : text.substr(afterName + 2);
  while (!body.empty() && (body.back() == ' ' || body.back() == ',')) body.pop_back();
  static_cast<Found*>(user)->lines.push_back({first, last, body});
}

// How a bus's values sit in time.
enum class Layout {
  kEndMarked,    // a value's sample is its last clock edge: it spans back to the event before
  kStartMarked,  // a value's sample is its start bit: it spans a character's time
  kRecords,      // the bus hands out single bits: a box per record line
};

Layout LayoutOf(const std::string& bus) {
  if (bus == "async") return Layout::kStartMarked;
  if (bus == "i2c" || bus == "spi" || bus == "1wire" || bus == "parallel") return Layout::kEndMarked;
  return Layout::kRecords;
}

// The marker of a control event code, by bus; no text draws none.
AnnotationMarker MarkerOf(const std::string& bus, uint32_t code) {
  using Anchor = AnnotationMarker::Anchor;
  AnnotationMarker m;
  auto set = [&](const char* text, Anchor anchor, bool warning = false) {
    m.text = text;
    m.anchor = anchor;
    m.warning = warning;
  };
  if (bus == "i2c") {
    if (code == TQLA_EVENT_START) set("S", Anchor::kEndsAt);
    if (code == TQLA_EVENT_STOP) set("P", Anchor::kStartsAt);
    if (code == TQLA_EVENT_ACK) set("ACK", Anchor::kSpan);
    if (code == TQLA_EVENT_NACK) set("NACK", Anchor::kSpan, true);
  } else if (bus == "spi") {
    if (code == TQLA_EVENT_START) set("CS", Anchor::kEndsAt);
    if (code == TQLA_EVENT_STOP) set("/CS", Anchor::kStartsAt);
  } else if (bus == "async") {
    if (code == TQLA_EVENT_START) set("parity", Anchor::kStartsAt, true);
  } else if (bus == "1wire") {
    if (code == TQLA_EVENT_START) set("reset", Anchor::kEndsAt);
    if (code == TQLA_EVENT_STOP) set("presence", Anchor::kEndsAt);
  }
  return m;
}

std::string ValueText(uint32_t value, int32_t bits, const std::string& format) {
  char text[32];
  if (format == "dec") {
    std::snprintf(text, sizeof text, "%u", value);
  } else if (format == "char") {
    if (value >= 0x20 && value < 0x7F)
      std::snprintf(text, sizeof text, "'%c'", static_cast<char>(value));
    else
      std::snprintf(text, sizeof text, "%02X", value);
  } else {
    std::snprintf(text, sizeof text, "%0*X", std::max(1, (bits + 3) / 4), value);
  }
  return text;
}

// A box that reaches back to the event before is kept to twice the usual
// width of the row's boxes, so the first byte after a long quiet stretch
// does not cover it.
void LimitReach(AnnotationRow& row, const std::vector<bool>& reachesBack) {
  std::vector<uint64_t> widths;
  for (size_t k = 0; k < row.boxes.size(); ++k)
    if (reachesBack[k]) widths.push_back(row.boxes[k].last - row.boxes[k].first);
  if (widths.empty()) return;
  std::nth_element(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(widths.size() / 2), widths.end());
  const uint64_t most = std::max<uint64_t>(1, 2 * widths[widths.size() / 2]);
  for (AnnotationBox& box : row.boxes)
    if (box.last - box.first > most) box.first = box.last - most;
}

}  // namespace

std::vector<AnnotationRow> DecodeAnnotations(std::span<uint32_t> samples, uint32_t rateHz,
                                             const DecoderSpec& given, uint64_t from, uint64_t to) {
  if (given.bus == "spi8") throw UsageError("--decode " + given.text + ": spi8 hands out no records to draw; use spi");
  const int32_t rateCode = DecoderRateCode(rateHz);
  const Layout layout = LayoutOf(given.bus);
  // Words of the clocked serial buses are drawn one record line each.
  DecoderSpec spec = given;
  if ((spec.bus == "i2s" || spec.bus == "serial") && !spec.settings.Has("per-line"))
    spec = ParseDecoderSpec(given.text + (given.text.find(':') == std::string::npos ? ":" : ",") + "per-line=1");
  spec.label = given.label;

  to = std::min<uint64_t>(to, samples.size());
  if (from >= to) return {};
  Found found;
  TemporaryRecordFile record;
  RunDecoderSpec(spec, samples, static_cast<uint32_t>(from), static_cast<uint32_t>(to), rateCode, record.path(),
                 {TakeLine, TakeEvent, &found});

  std::vector<AnnotationRow> rows;
  if (layout == Layout::kRecords) {
    AnnotationRow row;
    row.label = spec.label;
    for (const Found::Line& line : found.lines) {
      AnnotationBox box{line.first, std::max(line.first, line.last), line.body, ""};
      const size_t blank = line.body.find(' ');
      if (blank != std::string::npos) box.brief = line.body.substr(0, blank);
      row.boxes.push_back(std::move(box));
    }
    rows.push_back(std::move(row));
    return rows;
  }

  // Only what the record lines hold is drawn: a value the decoder met before
  // it found its footing (a byte cut by the start of the range) has no line.
  std::vector<std::pair<uint32_t, uint32_t>> spans;
  for (const Found::Line& line : found.lines) spans.emplace_back(line.first, std::max(line.first, line.last));
  std::sort(spans.begin(), spans.end());
  auto inLine = [&](uint32_t sample) {
    auto after = std::upper_bound(spans.begin(), spans.end(), std::pair{sample, UINT32_MAX});
    // Lines may overlap (one per SPI line): any that starts before may hold it.
    for (auto it = after; it != spans.begin();) {
      --it;
      if (it->second >= sample) return true;
      if (after - it > 4) break;
    }
    return false;
  };
  std::erase_if(found.events, [&](const Found::Event& e) { return !inLine(e.sample); });

  // Rows by the packet engine's channel: SPI's MISO (1) and MOSI (2), the
  // first two serial lines.
  std::map<int32_t, AnnotationRow> byChannel;
  std::map<int32_t, std::vector<bool>> reachesBack;
  auto rowOf = [&](int32_t channel) -> AnnotationRow& {
    AnnotationRow& row = byChannel[channel];
    if (row.label.empty()) {
      row.label = spec.label;
      if (spec.bus == "spi") row.label += channel == 1 ? " MISO" : " MOSI";
    }
    return row;
  };
  const std::string format = spec.settings.Value("format", "hex");
  uint64_t characterSamples = 0;
  if (layout == Layout::kStartMarked) {
    const double baud = static_cast<double>(spec.settings.Unsigned("baud", 115200));
    const uint64_t bits = 2 + spec.settings.Unsigned("data-bits", 8) + (spec.settings.Value("parity", "none") != "none");
    characterSamples = baud > 0 ? static_cast<uint64_t>(std::llround(bits * rateHz / baud)) : 1;
  }
  // The sample of the latest event before the one at hand, for values that
  // reach back to it; SPI's two words of one edge share their start.
  std::optional<uint32_t> before;
  uint32_t current = 0;
  bool afterStart = false;
  for (const Found::Event& e : found.events) {
    if (e.sample != current) {
      if (!found.events.empty() && &e != &found.events.front()) before = current;
      current = e.sample;
    }
    if (e.kind != kValue) {
      AnnotationMarker marker = MarkerOf(spec.bus, e.value);
      afterStart = spec.bus == "i2c" && e.value == TQLA_EVENT_START;
      if (marker.text.empty()) continue;
      marker.sample = e.sample;
      marker.from = before ? *before + 1 : e.sample;
      rowOf(spec.bus == "async" ? e.channel : 1).markers.push_back(std::move(marker));
      continue;
    }
    AnnotationRow& row = rowOf(spec.bus == "spi" || spec.bus == "async" ? e.channel : 1);
    AnnotationBox box;
    box.text = ValueText(e.value, e.bits, format);
    if (afterStart) {
      // The address byte and its direction; the byte alone where that does not fit.
      box.brief = box.text;
      box.text += e.value & 1 ? " R" : " W";
    }
    afterStart = false;
    if (layout == Layout::kStartMarked) {
      box.first = e.sample;
      box.last = e.sample + characterSamples - 1;
      reachesBack[e.channel].push_back(false);
    } else {
      box.first = before ? *before + 1 : e.sample;
      box.last = e.sample;
      reachesBack[spec.bus == "spi" ? e.channel : 1].push_back(true);
    }
    row.boxes.push_back(std::move(box));
  }
  for (auto& [channel, row] : byChannel) {
    // A first value with no event before it gets the usual width too.
    LimitReach(row, reachesBack[channel]);
    if (!row.boxes.empty() && row.boxes.front().first == row.boxes.front().last && row.boxes.size() > 1 &&
        layout == Layout::kEndMarked) {
      const uint64_t width = row.boxes[1].last - row.boxes[1].first;
      row.boxes.front().first = row.boxes.front().last > width ? row.boxes.front().last - width : 0;
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) {
    AnnotationRow empty;
    empty.label = spec.label;
    rows.push_back(std::move(empty));
  }
  return rows;
}

}  // namespace tqla::cli
