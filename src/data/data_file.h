// Files of the data subsystem: each is opened and closed within one call.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/regular_file.h"

namespace tqla {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using DataFile = std::unique_ptr<std::FILE, FileCloser>;

inline DataFile OpenDataFile(const char* fileName, const char* mode) {
  if (!fileName) return nullptr;
  return DataFile(std::fopen(fileName, mode));
}

// Closes a file that was written; false, with the reason as the last error,
// when any write to it or the close itself failed (a full disk shows at one
// or the other).
bool CloseWrittenFile(DataFile& file, const char* fileName);

// Files are read only when they are regular files (frame/regular_file.h).
inline DataFile OpenDataFileToRead(const char* fileName) { return DataFile(OpenRegularFile(fileName)); }

// Bytes of the sample buffer that really exist, whatever BufferLength says.
uint64_t SampleStorageBytes();

}  // namespace tqla
