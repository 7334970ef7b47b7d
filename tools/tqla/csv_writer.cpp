#include <array>
#include <charconv>
#include <cstring>

#include "capture.h"
#include "export_formats.h"
#include "timebase.h"

namespace tqla::cli {

const char* VoltsText(uint8_t value) {
  // Every step is a multiple of 1/128 V, so the shortest form is exact.
  static const auto kTexts = [] {
    std::array<std::array<char, 16>, 256> texts{};
    for (int v = 0; v < 256; ++v) {
      auto& text = texts[static_cast<size_t>(v)];
      *std::to_chars(text.data(), text.data() + text.size() - 1, (v - 128) * kVoltsPerStep).ptr = '\0';
    }
    return texts;
  }();
  return kTexts[value].data();
}

// The 16 characters ",b0,b1,...,b7" of a byte, bit 0 first.
const std::array<std::array<char, 16>, 256> kBitColumns = [] {
  std::array<std::array<char, 16>, 256> columns{};
  for (int v = 0; v < 256; ++v) {
    for (int bit = 0; bit < 8; ++bit) {
      columns[static_cast<size_t>(v)][2 * bit] = ',';
      columns[static_cast<size_t>(v)][2 * bit + 1] = static_cast<char>('0' + ((v >> bit) & 1));
    }
  }
  return columns;
}();

void WriteCsv(std::FILE* out, const ExportWindow& window, Progress* progress) {
  const Timebase time(window.rateHz);
  const bool ch1 = window.analogChannels & kCh1InUse;
  const bool ch2 = window.analogChannels & kCh2InUse;
  std::fputs("time", out);
  for (int bit = 0; bit < 16; ++bit) std::fprintf(out, ",d%d", bit);
  std::fputs(ch1 ? ",CH1" : "", out);
  std::fputs(ch2 ? ",CH2" : "", out);
  std::fputs("\r\n", out);

  char line[48 + 32 + 2 * 16 + 2];
  for (uint64_t i = 0; i < window.count; ++i) {
    const uint32_t word = window.samples[i];
    const int64_t index = window.firstTime + static_cast<int64_t>(i);
    char* at = line;
    if (index < 0) *at++ = '-';
    at = time.WriteSeconds(static_cast<uint64_t>(index < 0 ? -index : index), at);
    // ",b0,b1,...,b7" of each byte of the digital half from a table.
    std::memcpy(at, kBitColumns[word & 0xFF].data(), 16);
    std::memcpy(at + 16, kBitColumns[(word >> 8) & 0xFF].data(), 16);
    at += 32;
    for (int channel = 0; channel < 2; ++channel) {
      if (!(channel == 0 ? ch1 : ch2)) continue;
      *at++ = ',';
      const char* volts = VoltsText(static_cast<uint8_t>(word >> (channel == 0 ? 16 : 24)));
      const size_t n = std::strlen(volts);
      std::memcpy(at, volts, n);
      at += n;
    }
    *at++ = '\r';
    *at++ = '\n';
    std::fwrite(line, 1, static_cast<size_t>(at - line), out);
    if (progress) progress->Update(i);
  }
}

}  // namespace tqla::cli
