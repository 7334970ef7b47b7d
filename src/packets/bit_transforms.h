// The decode steps of a packet: bit decoders that rewrite the packet's bits,
// and byte substitutions.
#pragma once

#include <cstdint>

#include "packets/packets_state.h"

namespace tqla::packets {

// Output bits (into out, one per byte) of the decoder `step` for input bit b;
// returns their count.
uint32_t DecodeBit(uint32_t step, int bit, bool first, const char* protocolName, uint8_t* out);

// Runs one bit decoder over the protocol's packet and writes the result from
// ring index 0 on, with the handed-back entries right behind it.
void RunBitTransform(int protocol, uint32_t step);

// Applies the protocol's substitution rules over its packet.
void RunSubstitutions(int protocol);

}  // namespace tqla::packets
