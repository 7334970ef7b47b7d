// Merging the sixteen per-channel record or packet files of a folder into one,
// in order of each line's key.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/export.h"
#include "platform/regular_file.h"

using namespace tqla;

namespace {

constexpr int kChannels = 16;
constexpr size_t kLinePiece = 9999;  // longer lines are merged in pieces

// A line's sort key; lines without one sort before every keyed line.
struct Key {
  bool readable;
  double value;
};

bool Before(const Key& a, const Key& b) {
  if (!a.readable) return b.readable;
  return b.readable && a.value < b.value;
}

// The leading number of a timestamp text in nanoseconds: the number read as a
// float (after blanks and the "+" of relative times, which the number's own
// padding may follow), its unit the first of n, u, m, s among the first 20
// characters.
Key ParseTimestampNs(const char* line) {
  const char* p = line;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '+') {
    ++p;
    while (*p == ' ') ++p;
  }
  char* after = nullptr;
  const float number = std::strtof(p, &after);
  if (after == p || !std::isfinite(number)) return {false, 0};
  for (int k = 0; k < 20 && line[k]; ++k) {
    switch (line[k]) {
      case 'n': return {true, number * 1.0};
      case 'u': return {true, number * 1e3};
      case 'm': return {true, number * 1e6};
      case 's': return {true, number * 1e9};
      default: break;
    }
  }
  return {false, 0};
}

// The text between the first and the second comma as an unsigned 32-bit count.
Key ParseSecondField(const char* line) {
  const char* first = std::strchr(line, ',');
  if (!first || !std::strchr(first + 1, ',')) return {false, 0};
  return {true, static_cast<double>(static_cast<uint32_t>(std::atol(first + 1)))};
}

struct Source {
  FILE* file = nullptr;
  std::string line;  // the current line; may hold NUL bytes, written as they are
  bool hasLine = false;
  Key key{};
};

// Reads the next line (at most kLinePiece characters, newline included when it
// fits) of a source.
void Advance(Source& source, Key (*parse)(const char*)) {
  source.hasLine = false;
  if (!source.file) return;
  source.line.clear();
  int c;
  while (source.line.size() < kLinePiece && (c = std::getc(source.file)) != EOF) {
    source.line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (source.line.empty()) return;
  source.hasLine = true;
  source.key = parse(source.line.c_str());
}

void Merge(const char* folder, const char* inputStem, const char* outputName, Key (*parse)(const char*)) {
  if (!folder) return;
  const std::string base = folder;
  FILE* out = std::fopen((base + outputName).c_str(), "wb");
  Source sources[kChannels];
  for (int n = 0; n < kChannels; ++n) {
    sources[n].file = OpenRegularFile((base + inputStem + std::to_string(n) + ".txt").c_str());
    Advance(sources[n], parse);
  }
  for (;;) {
    int best = -1;
    for (int n = 0; n < kChannels; ++n) {
      if (sources[n].hasLine && (best < 0 || Before(sources[n].key, sources[best].key))) best = n;
    }
    if (best < 0) break;
    const std::string& line = sources[best].line;
    if (out) {
      std::fwrite(line.data(), 1, line.size(), out);
      if (line.back() != '\n') std::fwrite("\r\n", 1, 2, out);
    }
    Advance(sources[best], parse);
  }
  for (Source& source : sources) {
    if (source.file) std::fclose(source.file);
  }
  if (out) std::fclose(out);
}

}  // namespace

extern "C" {

// Lines are taken in key order, equal keys in file order. A line without a
// readable timestamp (such as the empty first line of files whose records open
// with a newline) has no key and goes out as soon as it is its file's current
// line, ahead of keyed lines; a missing input file has no lines. Every line is
// copied exactly once; one that does not end in a newline gains one. A null
// folder merges nothing.
int32_t TQLA_API CombineAndSort(uint8_t* folder) {
  return Guarded<int32_t>("CombineAndSort", 0, [&] {
    Merge(reinterpret_cast<const char*>(folder), "out", "out.txt", ParseTimestampNs);
    return 0;
  });
}

// As CombineAndSort over the packet files, keyed by the second field; a line
// without a second comma has no key and goes out first, as above.
int32_t TQLA_API CombineAndSortPP(uint8_t* folder) {
  return Guarded<int32_t>("CombineAndSortPP", 0, [&] {
    Merge(reinterpret_cast<const char*>(folder), "testout", "testout.txt", ParseSecondField);
    return 0;
  });
}

}  // extern "C"
