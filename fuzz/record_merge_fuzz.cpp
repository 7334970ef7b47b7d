// Any sixteen per-channel record and packet files merged by timestamp and by
// their second field: nothing may crash, hang or read past a line. The input
// is cut into the files at each 0xFF byte.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <string>

#include "tqla/tqla.h"

namespace {

// A folder of this process's own, removed when it ends. The name lives in
// static storage that outlasts the removal.
std::string Folder() {
  static char folder[] = "/tmp/tqla_fuzz_merge_XXXXXX";
  static const bool made = [] {
    if (!mkdtemp(folder)) return false;
    std::atexit([] { std::filesystem::remove_all(folder); });
    return true;
  }();
  return made ? std::string(folder) + "/" : std::string();
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string folder = Folder();
  if (folder.empty()) return 0;
  size_t start = 0;
  for (int n = 0; n < 16; ++n) {
    size_t end = start;
    while (end < size && data[end] != 0xFF) ++end;
    const size_t from = std::min(start, size);
    for (const char* stem : {"out", "testout"})
      Write(folder + stem + std::to_string(n) + ".txt", data + from, std::min(end, size) - from);
    start = end + 1;
  }
  std::string path = folder;
  CombineAndSort(reinterpret_cast<uint8_t*>(path.data()));
  CombineAndSortPP(reinterpret_cast<uint8_t*>(path.data()));
  return 0;
}
