// Sample sections: "[Samples]" and raw little-endian sample words appended to
// a file of the host's own, found again by the first marker in the file.
#include <algorithm>
#include <cstring>

#include "data/data_file.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"

using namespace tqla;

namespace {

constexpr char kMarker[] = "[Samples]";
constexpr size_t kMarkerBytes = sizeof kMarker - 1;

// 0 also when a write or the close fails: a section cut short by a full disk
// does not count.
int32_t AppendSection(const char* fileName, const uint32_t* words, uint32_t count) {
  DataFile file = OpenDataFile(fileName, "ab");
  if (!file) return 0;
  std::fwrite(kMarker, 1, kMarkerBytes, file.get());
  const size_t written = count ? std::fwrite(words, sizeof(uint32_t), count, file.get()) : 0;
  return CloseWrittenFile(file, fileName) ? static_cast<int32_t>(written) : 0;
}

// Leaves file just past the first marker; the bytes read up to and including
// its closing bracket, or 0 when the file ends first.
uint64_t SeekPastMarker(std::FILE* file) {
  char window[kMarkerBytes] = {};
  uint64_t count = 0;
  for (;;) {
    ++count;
    std::memmove(window, window + 1, kMarkerBytes - 1);
    const int next = std::getc(file);
    if (next == EOF) return 0;
    window[kMarkerBytes - 1] = static_cast<char>(next);
    if (std::memcmp(window, kMarker, kMarkerBytes) == 0) return count;
  }
}

}  // namespace

extern "C" {

// Writes the words that really exist: BufferLength bounded by the storage.
int32_t TQLA_API AppendSampleData(char* fileName) {
  return Guarded<int32_t>("AppendSampleData", 0, [&] {
    const WordSpan s = CurrentSamples();
    return AppendSection(fileName, s.words, s.length);
  });
}

// first + count is clamped to the buffer: a range past its end writes the
// marker and only the words that exist.
int32_t TQLA_API AppendBetweenSampleData(char* fileName, uint32_t first, uint32_t count) {
  return Guarded<int32_t>("AppendBetweenSampleData", 0, [&] {
    const WordSpan s = CurrentSamples();
    const uint32_t from = std::min(first, s.length);
    const uint32_t n = std::min(count, s.length - from);
    return AppendSection(fileName, s.words ? s.words + from : nullptr, n);
  });
}

// BufferLength becomes count as described, but at most the buffer's real
// storage is read, so a count larger than the allocation stores only what
// fits; the result is the number of words actually stored.
int32_t TQLA_API ExtractBufferFromFile(char* fileName, uint32_t count) {
  return Guarded<int32_t>("ExtractBufferFromFile", 0, [&] {
    DataFile file = OpenDataFileToRead(fileName);
    if (!file) return 0;
    const uint64_t found = SeekPastMarker(file.get());
    if (found == 0) return 0;
    Trace("Samples found at %d", static_cast<int>(found));
    sampleBuffer.BufferLength = count;
    const uint32_t storage = sampleBuffer.SampleBuffer ? sampleBuffer.StorageWords : 0;
    const uint32_t wanted = std::min(count, storage);
    const size_t read = wanted ? std::fread(sampleBuffer.SampleBuffer, sizeof(uint32_t), wanted, file.get()) : 0;
    if (storage > 0) Trace("First Sample %8X", sampleBuffer.SampleBuffer[0]);
    return static_cast<int32_t>(read);
  });
}

}  // extern "C"
