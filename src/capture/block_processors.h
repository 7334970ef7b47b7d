// The block processors: what each 64 KiB block from an FX2 becomes. The
// digital and analog ones combine their bytes in place into the sample words
// of the ring and run the trigger engine when both sides meet; the stream one
// puts mapped blocks into the stream ring.
#pragma once

#include <cstdint>

namespace tqla {

constexpr uint32_t kBlockBytes = 65536;

// A whole block of the Digital FX2 (kBlockBytes bytes).
void ProcessDigitalBlock(const uint8_t* block);
// A whole block of the Analog FX2; the first-block fix and the spike filter
// change it in place.
void ProcessAnalogBlock(uint8_t* block);
// A whole block of a streaming image (kBlockBytes bytes): transfers that end
// part filled never reach the ring.
void ProcessStreamBlock(const uint8_t* block);

// The analog spike filter over one channel's series of m samples, spaced
// stride bytes apart; last is the highest index a triple may start at.
void SpikeFilter(uint8_t* series, uint32_t stride, uint32_t last);

}  // namespace tqla
