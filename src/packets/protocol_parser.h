// The protocol definition parser: reads a protocol file into the model.
#pragma once

namespace tqla::packets {

// Resets the model to its defaults and the parser to its starting state.
void ResetProtocolModel();

// Parses protocolFile into the model (which ResetProtocolModel prepared).
// Returns true, or false with the message in errorText (kErrorTextSize
// characters at most).
bool ParseProtocolFile(const char* protocolFile, char* errorText);

}  // namespace tqla::packets
