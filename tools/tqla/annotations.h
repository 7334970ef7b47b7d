// Decoded traffic as annotation rows for a picture: what a decoder found in a
// stretch of a capture, as boxes (a byte or word with its value, or a frame
// with its record text) and markers (START, STOP, ACK, NACK, frame edges).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decoder_spec.h"

namespace tqla::cli {

struct AnnotationBox {
  uint64_t first = 0, last = 0;  // samples it covers, last included
  std::string text;              // the value ("A0", "'t'") or the record text
  std::string brief;             // shorter text for a narrow box; may be empty
};

struct AnnotationMarker {
  // Where its label goes: ending at the sample (a START, a frame start),
  // starting there (a STOP, a frame end), or over the bit from the event
  // before to the sample (an acknowledge).
  enum class Anchor { kEndsAt, kStartsAt, kSpan };
  uint64_t sample = 0;
  uint64_t from = 0;  // kSpan: the first sample it covers
  Anchor anchor = Anchor::kEndsAt;
  std::string text;      // "S", "P", "ACK", "NACK", "CS", ...
  bool warning = false;  // a NACK or a bit error
};

struct AnnotationRow {
  std::string label;
  std::vector<AnnotationBox> boxes;  // in time order
  std::vector<AnnotationMarker> markers;
};

// Runs spec's decoder over samples [from, to) of samples (at rateHz, which
// the decoders must take) and returns its rows: one per decoder, two for SPI
// (MISO and MOSI), one per line for a serial decoder on two channels. Throws
// CliError with the library's reason when the decoder refuses its settings.
std::vector<AnnotationRow> DecodeAnnotations(std::span<uint32_t> samples, uint32_t rateHz,
                                             const DecoderSpec& spec, uint64_t from, uint64_t to);

}  // namespace tqla::cli
