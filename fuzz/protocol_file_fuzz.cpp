// Any protocol definition file, then a stream of data and events through the
// model it built: nothing may crash, hang or touch memory it does not own.
#include <cstdint>
#include <cstdio>

#include "packets/packets_state.h"
#include "fuzz_file.h"
#include "tqla/tqla.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteFuzzFile("protocol", data, size);
  if (path.empty()) return 0;
  char output[] = "/dev/null";
  char error[256];
  tqla::packets::streamPosition.DecoderSampleRate = 1000000;
  InitializeRedodoRovodovoz(path.data(), output, error);
  // A stream that meets most conditions: bytes of every width on both
  // channels, bus events and signal changes, growing gaps, the end code.
  uint32_t sample = 0;
  for (int i = 0; i < 600; ++i) {
    sample += static_cast<uint32_t>((i % 37) * (i % 5 == 0 ? 300 : 1));
    const uint8_t value = static_cast<uint8_t>(size ? data[i % size] ^ i : i);
    if (i % 11 == 3) {
      SendDataStream(0, sample, static_cast<uint8_t>(1 << (i % 4)), 0, 1, 1, i);
    } else if (i % 29 == 7) {
      SendDataStream(0, sample, static_cast<uint8_t>(0x20 + (i & 1)), 0, 1, 1, i);
    } else {
      SendDataStream(i % 53 == 0 ? 1 : 0, sample, value, static_cast<char>(i % 13 == 0 ? 1 + i % 8 : 8),
                     static_cast<char>(1 + (i % 7 == 0)), 0, i);
    }
  }
  SendDataStream(0, sample + 1, 127, 0, 1, 1, 600);
  CloseRedodoRovodovoz();
  std::remove(path.c_str());
  return 0;
}
