// Record text on its way to the record file. Text collects in a buffer in
// front of the file, so a decoder that writes a value for every sample pays a
// copy per value, not a printf and a file write; every newline goes out as
// CR LF, and RecordOffset advances by the bytes each piece takes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "decoders/decoder_state.h"
#include "packets/packets_state.h"

namespace tqla::decoders {

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
  // Text without a newline written in place: fill(char* at) writes at most
  // most characters there and returns how many it wrote.
  template <class Fill>
  void AddFilled(size_t most, Fill&& fill) {
    if (most > kSize - used_) Flush();
    const size_t length = fill(buffer_.get() + used_);
    used_ += length;
    packets::streamPosition.RecordOffset += static_cast<uint32_t>(length);
  }
  // Text the caller knows holds no newline.
  void AddPlain(const char* text, size_t length) {
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

  FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};

}  // namespace tqla::decoders
