#include <cstring>

#include "capture.h"
#include "export_formats.h"
#include "timebase.h"

namespace tqla::cli {

namespace {

// Identifier codes: d0..d15 are 'A'..'P', CH1 'Q', CH2 'R'; letters only,
// so no code reads like a keyword ($) or a timestamp (#).
constexpr char kFirstId = 'A';
constexpr char kCh1Id = kFirstId + 16;
constexpr char kCh2Id = kFirstId + 17;

char* Append(char* out, const char* text) {
  const size_t n = std::strlen(text);
  std::memcpy(out, text, n);
  return out + n;
}

char* AppendReal(char* out, uint8_t value, char id) {
  *out++ = 'r';
  out = Append(out, VoltsText(value));
  *out++ = ' ';
  *out++ = id;
  *out++ = '\n';
  return out;
}

}  // namespace

void WriteVcd(std::FILE* out, const ExportWindow& window, Progress* progress) {
  const Timebase time(window.rateHz);
  const bool ch1 = window.analogChannels & kCh1InUse;
  const bool ch2 = window.analogChannels & kCh2InUse;
  std::fprintf(out, "$date\n\t%s\n$end\n$version\n\ttqla %s\n$end\n", window.date.c_str(), TQLA_VERSION);
  std::fprintf(out, "$comment\n\tsample rate %u Hz%s%s%s\n$end\n", window.rateHz,
               time.exact() ? "" : ", times rounded to the nearest ps",
               window.cutShort.empty() ? "" : "; capture cut short by ", window.cutShort.c_str());
  std::fprintf(out, "$timescale %s $end\n$scope module tqla $end\n", time.UnitName().c_str());
  for (int bit = 0; bit < 16; ++bit) std::fprintf(out, "$var wire 1 %c d%d $end\n", kFirstId + bit, bit);
  if (ch1) std::fprintf(out, "$var real 64 %c CH1 $end\n", kCh1Id);
  if (ch2) std::fprintf(out, "$var real 64 %c CH2 $end\n", kCh2Id);
  std::fputs("$upscope $end\n$enddefinitions $end\n", out);
  const auto origin = static_cast<uint64_t>(window.firstTime);
  char line[16 * 3 + 2 * 24 + 48];
  char* at = line;
  *at++ = '#';
  at = WriteDecimal(time.At(origin), at);
  *at++ = '\n';
  std::fwrite(line, 1, static_cast<size_t>(at - line), out);
  if (window.count == 0) return;

  // One line per value: at most 16 wires, two reals and a timestamp.
  const uint32_t first = window.samples[0];
  at = Append(line, "$dumpvars\n");
  for (int bit = 0; bit < 16; ++bit) {
    *at++ = static_cast<char>('0' + ((first >> bit) & 1));
    *at++ = static_cast<char>(kFirstId + bit);
    *at++ = '\n';
  }
  if (ch1) at = AppendReal(at, static_cast<uint8_t>(first >> 16), kCh1Id);
  if (ch2) at = AppendReal(at, static_cast<uint8_t>(first >> 24), kCh2Id);
  at = Append(at, "$end\n");
  std::fwrite(line, 1, static_cast<size_t>(at - line), out);

  const uint32_t watched = 0xFFFFu | (ch1 ? 0x00FF0000u : 0) | (ch2 ? 0xFF000000u : 0);
  uint32_t previous = first;
  for (uint64_t i = 1; i < window.count; ++i) {
    const uint32_t word = window.samples[i];
    const uint32_t changed = (word ^ previous) & watched;
    if (changed == 0) continue;
    at = line;
    *at++ = '#';
    at = WriteDecimal(time.At(origin + i), at);
    *at++ = '\n';
    for (uint32_t bits = changed & 0xFFFFu; bits != 0; bits &= bits - 1) {
      const int bit = __builtin_ctz(bits);
      *at++ = static_cast<char>('0' + ((word >> bit) & 1));
      *at++ = static_cast<char>(kFirstId + bit);
      *at++ = '\n';
    }
    if (changed & 0x00FF0000u) at = AppendReal(at, static_cast<uint8_t>(word >> 16), kCh1Id);
    if (changed & 0xFF000000u) at = AppendReal(at, static_cast<uint8_t>(word >> 24), kCh2Id);
    std::fwrite(line, 1, static_cast<size_t>(at - line), out);
    previous = word;
    if (progress) progress->Update(i);
  }
  at = line;
  *at++ = '#';
  at = WriteDecimal(time.At(origin + window.count), at);
  *at++ = '\n';
  std::fwrite(line, 1, static_cast<size_t>(at - line), out);
}

}  // namespace tqla::cli
