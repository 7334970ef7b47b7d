// Any packet record file loaded and looked up: nothing may crash or read or
// write outside the list.
#include <cstdint>
#include <cstdio>

#include "fuzz_file.h"
#include "tqla/tqla.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteFuzzFile("records", data, size);
  if (path.empty()) return 0;
  const char slot = static_cast<char>(size ? data[0] % 4 : 0);
  const int32_t packets = LoadPackets(slot, path.data());
  char text[100008];
  for (int32_t p = -1; p <= packets && p < 40; ++p) {
    for (int32_t pair = -1; pair <= 64; ++pair) {
      LookupLabel(slot, text, p, pair);
      LookupValue(slot, text, p, pair);
    }
  }
  UnLoadPackets(slot);
  std::remove(path.c_str());
  return 0;
}
