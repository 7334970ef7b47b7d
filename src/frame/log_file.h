// The self-test log "tqlog.txt": opened and closed for every entry so that it
// survives a crash of the host.
#pragma once

namespace tqla {

// Creates or truncates "tqlog.txt" in the current directory with its first line.
void LogStart();

// Appends "<ticks>: <text>" as one line; texts past 999 characters are cut.
void LogEntry(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tqla
