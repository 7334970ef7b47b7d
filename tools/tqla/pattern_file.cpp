#include "pattern_file.h"

#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "capture.h"
#include "cli.h"
#include "session_file.h"

namespace tqla::cli {

namespace {

// Text patterns are read whole; a VCD of the longest pattern fits easily.
constexpr uint64_t kMaxPatternFileBytes = uint64_t{1} << 30;

enum class PatternFormat { Capture, Vcd, HexWords };

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ReadTextFile(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) throw CliError(path + ": no such file");
  if (!std::filesystem::is_regular_file(status)) throw CliError(path + ": not a regular file");
  const uint64_t size = std::filesystem::file_size(path, error);
  if (error) throw CliError(path + ": " + error.message());
  if (size > kMaxPatternFileBytes) throw CliError(path + ": too large for a pattern file (more than 1 GiB)");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CliError("cannot open " + path + ": " + std::strerror(errno));
  std::string text(size, '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size)))
    throw CliError(path + ": reading failed after " + std::to_string(in.gcount()) + " bytes");
  return text;
}

// By the name where it says; else a capture's identification, a VCD's
// leading keyword, or words.
PatternFormat FormatOf(const std::string& path, const std::string& head) {
  const std::string extension = Lowercase(std::filesystem::path(path).extension().string());
  if (extension == ".tqc" || IsSessionFile(path)) return PatternFormat::Capture;
  if (extension == ".vcd") return PatternFormat::Vcd;
  if (extension == ".csv" || extension == ".txt") return PatternFormat::HexWords;
  if (head.rfind(kCaptureIdentification, 0) == 0) return PatternFormat::Capture;
  const size_t first = head.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && head[first] == '$') return PatternFormat::Vcd;
  return PatternFormat::HexWords;
}

std::string Head(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(64, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  return head;
}

}  // namespace

std::optional<uint16_t> ParseLineValue(const std::string& text) {
  const size_t digitsAt = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
  const size_t digits = text.size() - digitsAt;
  if (digits == 0 || digits > 4) return std::nullopt;
  uint16_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data() + digitsAt, end, value, 16);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

uint16_t LineValueArgument(const std::string& what, const std::string& text) {
  const std::optional<uint16_t> value = ParseLineValue(text);
  if (!value) throw UsageError(what + ": '" + text + "' is not a 16-bit hexadecimal value (0 to FFFF)");
  return *value;
}

Pattern ReadHexWordPattern(const std::string& text) {
  Pattern pattern;
  size_t at = 0;
  uint64_t line = 0;
  bool firstLine = true;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    ++line;
    std::string word = text.substr(at, end - at);
    at = end + 1;
    const size_t from = word.find_first_not_of(" \t\r");
    if (from == std::string::npos) continue;
    word = word.substr(from, word.find_last_not_of(" \t\r") - from + 1);
    const std::optional<uint16_t> value = ParseLineValue(word);
    const bool header = firstLine && !value;
    firstLine = false;
    if (header) continue;
    if (!value) throw CliError("line " + std::to_string(line) + ": '" + word + "' is not a 16-bit hexadecimal word");
    if (pattern.words.size() == kMaxPatternSamples)
      throw CliError("more than " + std::to_string(kMaxPatternSamples) + " words, the longest pattern");
    pattern.words.push_back(*value);
  }
  return pattern;
}

Pattern LoadPattern(const std::string& path, std::optional<uint32_t> rateHz) {
  Pattern pattern;
  const PatternFormat format = FormatOf(path, Head(path));
  if (format == PatternFormat::Capture) {
    Capture capture = LoadCapture(path);
    if (capture.samples.size() > kMaxPatternSamples)
      throw CliError(path + ": " + std::to_string(capture.samples.size()) +
                     " samples, more than the longest pattern (" + std::to_string(kMaxPatternSamples) + ")");
    pattern.words = capture.samples.TakeVector();
    pattern.rateHz = capture.rateHz;
  } else {
    const std::string text = ReadTextFile(path);
    try {
      pattern = format == PatternFormat::Vcd ? ReadVcdPattern(text, rateHz) : ReadHexWordPattern(text);
    } catch (const CliError& e) {
      throw CliError(path + ": " + e.what());
    }
  }
  if (pattern.words.empty()) throw CliError(path + ": no samples in the pattern");
  return pattern;
}

}  // namespace tqla::cli
