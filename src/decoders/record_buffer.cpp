#include "decoders/record_buffer.h"

#include "tqla/tqla_ext.h"

namespace tqla::decoders {

RecordSink recordSink;
EventSink eventSink;

void RecordBuffer::Open(FILE* file) {
  file_ = file;
  if (!buffer_) buffer_ = std::make_unique<char[]>(kSize);
  used_ = 0;
}

void RecordBuffer::Flush() {
  if (used_) Write(buffer_.get(), used_);
  used_ = 0;
}

void RecordBuffer::Write(const char* text, size_t length) {
  if (file_) std::fwrite(text, 1, length, file_);
}

void RecordBuffer::Add(const char* text, size_t length) {
  const char* end = text + length;
  for (const char* piece = text;;) {
    const char* newline = static_cast<const char*>(std::memchr(piece, '\n', static_cast<size_t>(end - piece)));
    if (!newline) {
      AddPlain(piece, static_cast<size_t>(end - piece));
      return;
    }
    AddPlain(piece, static_cast<size_t>(newline - piece));
    AddPlain("\r\n", 2);
    piece = newline + 1;
  }
}

}  // namespace tqla::decoders

extern "C" void TQLA_API TqlaSetRecordSink(TqlaRecordSink sink, void* user) {
  tqla::decoders::recordSink.user = user;
  tqla::decoders::recordSink.sink = sink;
}

extern "C" void TQLA_API TqlaSetEventSink(TqlaEventSink sink, void* user) {
  tqla::decoders::eventSink.user = user;
  tqla::decoders::eventSink.sink = sink;
}
