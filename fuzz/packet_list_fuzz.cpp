// Any packet record file loaded and looked up: nothing may crash or read or
// write outside the list, and no text may outgrow TQLA_PACKET_TEXT_SIZE.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_file.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteFuzzFile("records", data, size);
  if (path.empty()) return 0;
  const char slot = static_cast<char>(size ? data[0] % 4 : 0);
  const int32_t packets = LoadPackets(slot, path.data());
  // Exactly the documented size, on the heap, so that a longer copy is caught.
  std::vector<char> text(TQLA_PACKET_TEXT_SIZE);
  char small[8];
  for (int32_t p = -1; p <= packets && p < 40; ++p) {
    for (int32_t pair = -1; pair <= 64; ++pair) {
      for (int which = 0; which < 2; ++which) {
        const int32_t found = which ? LookupValue(slot, text.data(), p, pair) : LookupLabel(slot, text.data(), p, pair);
        const int32_t length = which ? TqlaLookupValueSized(slot, small, sizeof small, p, pair)
                                     : TqlaLookupLabelSized(slot, small, sizeof small, p, pair);
        // Both lookups agree on what is there and how long it is.
        if ((found == 1) != (length >= 0)) std::abort();
        if (found && (std::strlen(text.data()) != static_cast<size_t>(length) ||
                      std::strncmp(small, text.data(), sizeof small - 1) != 0))
          std::abort();
      }
    }
  }
  UnLoadPackets(slot);
  std::remove(path.c_str());
  return 0;
}
