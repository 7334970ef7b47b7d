// Finding the next sample where any watched channel changes. Bus traffic is
// mostly idle between edges, so decoders jump from change to change instead
// of visiting every sample; the state machines only act on changes.
#pragma once

#include <cstdint>

namespace tqla::decoders {

// The first index k in [from, end) whose bits under mask differ from those of
// words[from - 1] (and so from every word in between); end when there is none.
// from must be at least 1 and words[from - 1 .. end - 1] readable.
uint32_t NextChange(const uint32_t* words, uint32_t from, uint32_t end, uint32_t mask);

}  // namespace tqla::decoders
