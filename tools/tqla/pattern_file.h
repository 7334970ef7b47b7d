// The patterns `tqla generate` plays, read from the files people have at
// hand: a tqla capture, a VCD file, or a CSV of hexadecimal words. Also the
// one spelling of line values (16-bit hexadecimal) that the pattern, io and
// count commands share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tqla::cli {

// The longest pattern the tool plays: 1 GiB of sample words.
inline constexpr uint32_t kMaxPatternSamples = 1u << 28;

struct Pattern {
  std::vector<uint32_t> words;     // one sample per word, digital channels in bits 0-15
  std::optional<uint32_t> rateHz;  // the rate the file names, if any
};

// Reads path by its name: .tqc a capture (its samples and rate), .vcd a VCD
// file sampled at rateHz (default: the rate its comment names, else 1 MHz),
// .csv or .txt hexadecimal words; any other name by its contents. Throws
// CliError naming the file and, where it helps, the line.
Pattern LoadPattern(const std::string& path, std::optional<uint32_t> rateHz);

// The digital channels d0..d15 of a VCD text sampled at rateHz, or at the
// rate of its "sample rate N Hz" comment, or at 1 MHz. Sample i takes the
// values in force at time i / rate; a change stamped within half a time unit
// (at most 1/64 of a sample) after a sample time counts from that sample, so
// files whose timescale cannot name every sample time exactly (rounded to it)
// read back sample for sample. The last timestamp ends the samples (the
// values after it make one more sample). Throws CliError with the line.
Pattern ReadVcdPattern(const std::string& text, std::optional<uint32_t> rateHz);

// One word per line, each 16-bit hexadecimal with or without 0x; blank lines
// are skipped, and a first line that is not a word is a header.
Pattern ReadHexWordPattern(const std::string& text);

// A value of the 16 lines: hexadecimal, 1 to 4 digits, with or without 0x;
// nothing when text is not one.
std::optional<uint16_t> ParseLineValue(const std::string& text);
// The same for an option or argument, throwing UsageError naming it.
uint16_t LineValueArgument(const std::string& what, const std::string& text);

}  // namespace tqla::cli
