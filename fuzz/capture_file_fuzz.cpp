// Any file through every capture-file reader: the three layouts, the stored
// length query and the sample section, with hostile buffer lengths. Nothing
// may crash, read or write outside the sample buffer and the second array,
// or allocate by what a file claims rather than what it holds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "frame/sample_buffer.h"
#include "fuzz_file.h"
#include "tqla/tqla.h"

namespace {

constexpr uint32_t kWords = 65536;
constexpr uint32_t kMaxSecondWords = 1u << 22;

struct Host {
  char text[8][20];
  uint8_t header, trailing, bytes[35];
  uint32_t stored, words[13];
};

// Four bytes of the input from at (zeros past its end).
uint32_t Word(const uint8_t* data, size_t size, size_t at) {
  uint32_t value = 0;
  if (at < size) std::memcpy(&value, data + at, std::min<size_t>(4, size - at));
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static uint32_t* buffer = MakeBuffer(kWords);
  if (!buffer) return 0;
  std::string path = WriteFuzzFile("capture", data, size);
  if (path.empty()) return 0;
  const char* f = path.c_str();
  Host h{};
  auto& t = h.text;
  auto& b = h.bytes;
  auto& w = h.words;
  // Lengths a host or an earlier file left behind: the file's own bytes, some
  // of them past the allocation.
  const uint32_t lengths[] = {kWords, Word(data, size, 161), Word(data, size, 0)};
  for (uint32_t length : lengths) {
    tqla::SetCurrentBuffer(buffer, length, kWords);
    uint32_t stored = 0;
    GetFileBufferSize(&stored, f);
    OpenFileData(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], &h.header, f);
    tqla::SetCurrentBuffer(buffer, length, kWords);
    OpenFileDataAndConfig(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], &h.header, &h.stored, &b[0], &b[1], &b[2],
                          &b[3], &b[4], &b[5], &b[6], &b[7], &b[8], &b[9], &b[10], &b[11], &b[12], &b[13], &b[14],
                          &b[15], &b[16], &b[17], &b[18], &b[19], &b[20], &b[21], &b[22], &b[23], &b[24], &b[25],
                          &b[26], &b[27], &b[28], &b[29], &b[30], &b[31], &b[32], &b[33], &b[34], &w[0], &w[1], &w[2],
                          &w[3], &w[4], &w[5], &w[6], &w[7], f);
    OpenFileDataAndConfig16(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], &h.header, &h.stored, &b[0], &b[1],
                            &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &b[8], &b[9], &b[10], &b[11], &b[12], &b[13],
                            &b[14], &b[15], &b[16], &b[17], &b[18], &b[19], &b[20], &b[21], &b[22], &b[23], &b[24],
                            &b[25], &b[26], &b[27], &b[28], &b[29], &b[30], &b[31], &b[32], &b[33], &b[34], &w[0],
                            &w[1], &w[2], &w[3], &w[4], &w[5], &w[6], &w[7], &w[8], &w[9], &w[10], &w[11], &w[12],
                            &h.trailing, f);
    // The second array grows by what a file holds, and inputs are far
    // smaller than this: only a stored length could ask for more.
    if (tqla::ExistingSecondArray().length > kMaxSecondWords) __builtin_trap();
    ExtractBufferFromFile(path.data(), length);
    // What the readers left must stay readable by the buffer's walkers.
    DemoData();
  }
  std::remove(f);
  return 0;
}
