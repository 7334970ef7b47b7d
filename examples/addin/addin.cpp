// An example add-in decoding library for the packet engine's ADDIN step.
// It knows two protocol names:
//   REPEAT     every bit comes out twice
//   SKIPFIRST  the first bit of each packet is dropped, the rest pass
// and passes the bits of any other protocol through unchanged.
#include <cstdint>
#include <cstring>

extern "C" __attribute__((visibility("default"))) uint32_t APIDecode(char* protocolName, char bit, char* outputBits,
                                                                     char first) {
  const char* name = protocolName ? protocolName : "";
  if (std::strcmp(name, "REPEAT") == 0) {
    outputBits[0] = outputBits[1] = bit;
    return 2;
  }
  if (std::strcmp(name, "SKIPFIRST") == 0 && first) return 0;
  outputBits[0] = bit;
  return 1;
}
