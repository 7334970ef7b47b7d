// Range files of copy, paste and undo: first and last index (32-bit signed,
// little-endian) and the words first..last.
#include <algorithm>
#include <utility>

#include "data/data_file.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

namespace {

// At or past the end becomes the last word, then negative becomes 0.
int32_t ClampIndex(int64_t index, uint32_t length) {
  if (index >= static_cast<int64_t>(length)) index = static_cast<int64_t>(length) - 1;
  return static_cast<int32_t>(std::max<int64_t>(index, 0));
}

struct Range {
  int32_t first;
  int32_t last;
  uint32_t count() const { return static_cast<uint32_t>(last - first) + 1; }
};

Range OrderedRange(int64_t first, int64_t last, uint32_t length) {
  Range r{ClampIndex(first, length), ClampIndex(last, length)};
  if (r.first > r.last) std::swap(r.first, r.last);
  return r;
}

int32_t WriteRange(const char* fileName, int32_t first, int32_t last) {
  const WordSpan s = CurrentSamples();
  if (s.empty()) return 0;
  const Range r = OrderedRange(first, last, s.length);
  DataFile file = OpenDataFile(fileName, "wb");
  if (!file) return 0;
  std::fwrite(&r.first, sizeof r.first, 1, file.get());
  std::fwrite(&r.last, sizeof r.last, 1, file.get());
  std::fwrite(s.words + r.first, sizeof(uint32_t), r.count(), file.get());
  return CloseWrittenFile(file, fileName) ? 1 : 0;
}

// Reads a range file's words into the buffer from the index that destination
// picks from the file's clamped range, as many as fit before the end.
template <class Destination>
int32_t ReadRange(const char* fileName, Destination destination) {
  const WordSpan s = CurrentSamples();
  if (s.empty()) return 0;
  DataFile file = OpenDataFileToRead(fileName);
  if (!file) return 0;
  int32_t stored[2];
  if (std::fread(stored, sizeof(int32_t), 2, file.get()) != 2) return 0;
  const Range r = OrderedRange(stored[0], stored[1], s.length);
  const uint32_t at = destination(r);
  const uint32_t count = std::min(r.count(), s.length - at);
  return static_cast<int32_t>(std::fread(s.words + at, sizeof(uint32_t), count, file.get()));
}

}  // namespace

extern "C" {

// Indexes are clamped to the words that really exist (BufferLength bounded by
// the storage); an empty buffer writes no file and returns 0. A failed write
// or close (a full disk) returns 0 as well.
int32_t TQLA_API Copy(char* fileName, int32_t first, int32_t last) {
  return Guarded<int32_t>("Copy", 0, [&] { return WriteRange(fileName, first, last); });
}

int32_t TQLA_API SaveUndo(char* fileName, int32_t first, int32_t last) {
  return Guarded<int32_t>("SaveUndo", 0, [&] { return WriteRange(fileName, first, last); });
}

// An empty buffer, or a file too short to hold both indexes, stores nothing
// and returns 0.
int32_t TQLA_API Paste(char* fileName, int32_t at) {
  return Guarded<int32_t>("Paste", 0, [&] {
    const uint32_t length = CurrentSamples().length;
    return ReadRange(fileName, [&](const Range&) { return static_cast<uint32_t>(ClampIndex(at, length)); });
  });
}

int32_t TQLA_API Undo(char* fileName) {
  return Guarded<int32_t>("Undo", 0, [&] {
    return ReadRange(fileName, [](const Range& r) { return static_cast<uint32_t>(r.first); });
  });
}

}  // extern "C"
