// Files the library reads. Only regular files are read: a device such as
// /dev/zero never ends, a pipe or FIFO can wait for ever, and a folder has no
// bytes but a size that misleads.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tqla {

// Opens path for binary reading when it names a regular file (after links);
// null when it is missing, unreadable or anything else (which is then the
// last error). Opening never waits, not even on a FIFO.
std::FILE* OpenRegularFile(const char* path);

// Bytes in an open file, or -1 when its size cannot be told.
int64_t RegularFileSize(std::FILE* file);

}  // namespace tqla
