// One entry into a protocol's stream: the work behind SendDataStream, also
// used by packet output to feed higher layers.
#pragma once

#include "packets/packets_state.h"

namespace tqla::packets {

// Appends the entry to the protocol's ring and handles every packet that
// completes: decode steps, packet output, close.
void FeedEntry(int protocol, const StreamEntry& entry);

}  // namespace tqla::packets
