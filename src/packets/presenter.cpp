// The presenter run: a protocol model and a packet output file for the length
// of one decoder run.
#include <cstring>

#include "frame/console.h"
#include "frame/export.h"
#include "packets/entry_ring.h"
#include "packets/packets_state.h"
#include "packets/protocol_parser.h"

using namespace tqla;
using namespace tqla::packets;

extern "C" {

// A second initialisation while the output file is open closes that file
// first. An output path of kOutputPathSize characters or more, or none, is
// refused as a file that cannot be opened. errorText receives at most 256
// characters with the NUL.
int32_t TQLA_API InitializeRedodoRovodovoz(char* protocolFile, char* outputFile, char* errorText) {
  return Guarded<int32_t>("InitializeRedodoRovodovoz", 0, [&]() -> int32_t {
    if (packetsState.outputFile) {
      std::fclose(packetsState.outputFile);
      packetsState.outputFile = nullptr;
    }
    const char* path = outputFile ? outputFile : "";
    if (!outputFile || std::strlen(outputFile) >= static_cast<size_t>(kOutputPathSize)) {
      ConsolePrint("Cant Open output file %s\n", path);
      return 0;
    }
    std::strcpy(packetsState.outputPath, outputFile);
    packetsState.outputFile = std::fopen(packetsState.outputPath, "wb");
    if (!packetsState.outputFile) {
      ConsolePrint("Cant Open output file %s\n", path);
      return 0;
    }
    ResetProtocolModel();
    for (EntryRing& ring : packetsState.rings) ResetRing(ring);
    for (uint8_t& writing : packetsState.writing) writing = 0;
    return ParseProtocolFile(protocolFile, errorText) ? 1 : 0;
  });
}

// 0 when a packet record could not be written in full or the close failed
// (a full disk), after printing "Cant write output file %s\n" with the path.
int32_t TQLA_API CloseRedodoRovodovoz(void) {
  return Guarded<int32_t>("CloseRedodoRovodovoz", 1, [&]() -> int32_t {
    FILE* file = packetsState.outputFile;
    if (!file) return 1;
    packetsState.outputFile = nullptr;
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) == 0 && written) return 1;
    ConsolePrint("Cant write output file %s\n", packetsState.outputPath);
    return 0;
  });
}

}  // extern "C"

namespace tqla::packets {

void ResetPackets() {
  CloseRedodoRovodovoz();
  for (int slot = 0; slot < kPacketListSlots; ++slot) UnLoadPackets(static_cast<char>(slot));
  packetsState.parser.packetDebug = 0;
  streamPosition = StreamPosition{};
}

}  // namespace tqla::packets
