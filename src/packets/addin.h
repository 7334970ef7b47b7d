// The add-in decoding library behind the ADDIN decode step.
#pragma once

#include <cstdint>

namespace tqla::packets {

constexpr int kAddinOutputBits = 256;

bool AddinLoaded();

// Feeds one bit to the add-in's APIDecode; output receives one bit per byte.
// Returns how many it wrote (at most kAddinOutputBits). Without a library the
// bit passes through unchanged.
uint32_t AddinDecode(const char* protocolName, int bit, uint8_t* output, bool first);

}  // namespace tqla::packets
