// Any range file pasted anywhere and undone: the words go only into the
// sample buffer, however the file's indexes and length lie.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/sample_buffer.h"
#include "fuzz_file.h"
#include "tqla/tqla.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteFuzzFile("range", data, size);
  if (path.empty()) return 0;
  // A buffer of 1 to 1024 words, exactly as long as the storage, so that a
  // store past its end is caught.
  const size_t words = size ? 1 + data[size - 1] * 4 : 1;
  std::vector<uint32_t> buffer(words);
  tqla::SetCurrentBuffer(buffer.data(), static_cast<uint32_t>(words), static_cast<uint32_t>(words));
  int32_t at = 0;
  if (size >= 12) std::memcpy(&at, data + 8, 4);
  for (int32_t where : {at, 0, -1, static_cast<int32_t>(words) - 1, static_cast<int32_t>(words)}) Paste(path.data(), where);
  Undo(path.data());
  // A BufferLength past the storage must not widen the reach either.
  tqla::SetCurrentBuffer(buffer.data(), 0xFFFFFFF0u, static_cast<uint32_t>(words));
  Paste(path.data(), at);
  Undo(path.data());
  tqla::SetCurrentBuffer(nullptr, 0, 0);
  std::remove(path.c_str());
  return 0;
}
