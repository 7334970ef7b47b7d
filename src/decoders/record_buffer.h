// Record text on its way to the record file. Text collects in a buffer in
// front of the file, so a decoder that writes a value for every sample pays a
// copy per value, not a printf and a file write; every newline goes out as
// CR LF, and RecordOffset advances by the bytes each piece takes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "decoders/decoder_state.h"
#include "packets/packets_state.h"

namespace tqla::decoders {

// The host's record sink (TqlaSetRecordSink) and the samples it is told: a
// line starts at the sample of the last header timestamp made before its
// first text, and ends at the sample the decoder had reached when its line
// end was written (decoders format a new line's timestamp, and may send its
// first value, before they end the line before it).
struct RecordSink {
  void (*sink)(uint32_t firstSample, uint32_t lastSample, const char* line, void* user) = nullptr;
  void* user = nullptr;
  uint32_t header = 0;   // sample of the last timestamp made
  uint32_t first = 0;    // of the line in progress
  uint32_t reached = 0;  // the latest sample a timestamp, value or event named
};
extern RecordSink recordSink;

// The host's event sink (TqlaSetEventSink): every value and bus event of a
// run as the decoder recognises it, whether or not the packet engine runs.
struct EventSink {
  void (*sink)(uint32_t sampleIndex, int32_t kind, uint32_t value, int32_t bits, int32_t channel, void* user) = nullptr;
  void* user = nullptr;
};
extern EventSink eventSink;

inline void NoteRecordStart(uint32_t sampleIndex) {
  recordSink.header = sampleIndex;
  if (sampleIndex > recordSink.reached) recordSink.reached = sampleIndex;
}
inline void NoteRecordSample(uint32_t sampleIndex) {
  if (sampleIndex > recordSink.reached) recordSink.reached = sampleIndex;
}

class RecordBuffer {
 public:
  RecordBuffer() = default;
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;
  ~RecordBuffer() { Flush(); }

  void Open(FILE* file);
  // Writes what is pending; the file stays open.
  void Flush();
  // Writes what is pending and lets go of the file, which the caller closes.
  void Release() {
    Flush();
    file_ = nullptr;
  }

  // Text with any number of newlines.
  void Add(const char* text, size_t length);
  // Hands the line in progress to the record sink (at the end of a run).
  void EndLine() {
    if (recordSink.sink && !line_.empty()) recordSink.sink(recordSink.first, recordSink.reached, line_.c_str(), recordSink.user);
    line_.clear();
  }
  // Text without a newline written in place: fill(char* at) writes at most
  // most characters there and returns how many it wrote.
  template <class Fill>
  void AddFilled(size_t most, Fill&& fill) {
    if (most > kSize - used_) Flush();
    const size_t length = fill(buffer_.get() + used_);
    if (recordSink.sink) Collect(buffer_.get() + used_, length);
    used_ += length;
    packets::streamPosition.RecordOffset += static_cast<uint32_t>(length);
  }
  // Text the caller knows holds no newline.
  void AddPlain(const char* text, size_t length) {
    if (recordSink.sink) Collect(text, length);
    if (length > kSize - used_) {
      Flush();
      if (length > kSize) {
        Write(text, length);
        packets::streamPosition.RecordOffset += static_cast<uint32_t>(length);
        return;
      }
    }
    std::memcpy(buffer_.get() + used_, text, length);
    used_ += length;
    packets::streamPosition.RecordOffset += static_cast<uint32_t>(length);
  }

 private:
  static constexpr size_t kSize = 1 << 16;
  void Write(const char* text, size_t length);
  // The line for the record sink: a CR LF ends it.
  void Collect(const char* text, size_t length) {
    if (length == 2 && text[0] == '\r' && text[1] == '\n') {
      EndLine();
      return;
    }
    if (line_.empty() && length) recordSink.first = recordSink.header;
    line_.append(text, length);
  }
  std::string line_;

  FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};

}  // namespace tqla::decoders
