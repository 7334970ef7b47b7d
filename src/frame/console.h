// The console: the messages that decoders and the packet engine print for the
// user, on standard output.
#pragma once

#include <cstdio>

namespace tqla {

// Formats a message (at most 4999 characters) and writes it to the console.
void ConsolePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Sends console messages to stream instead of standard output; null restores
// standard output. Lets the tests read the messages and the benchmarks drop
// them.
void SetConsoleStream(FILE* stream);

}  // namespace tqla
