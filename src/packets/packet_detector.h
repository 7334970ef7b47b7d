// The packet detector: watches a protocol's ring for its start and end
// conditions.
#pragma once

namespace tqla::packets {

// Examines the protocol's entries from the scan index on; true when a packet
// is complete (entries tail to head, with any hand-back set).
bool DetectPacket(int protocol);

}  // namespace tqla::packets
