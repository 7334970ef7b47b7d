// Packet output: lays the protocol's field lines over a complete packet,
// writes the record of the first line that fits and feeds its fields to
// higher layers.
#pragma once

namespace tqla::packets {

void WritePacket(int protocol);

// The record of the ring's entries that the packet debug flag asks for.
void WriteDebugRecord(int protocol);

}  // namespace tqla::packets
