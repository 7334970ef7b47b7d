#include "platform/regular_file.h"

#include <sys/stat.h>

#include <cerrno>

#include "frame/trace.h"

namespace tqla {

// Windows opens no FIFO that could wait; a device name such as NUL or CON
// opens, and is refused by its type.
std::FILE* OpenRegularFile(const char* path) {
  if (!path) return nullptr;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return nullptr;
  struct _stat64 info {};
  if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
    const int reason = (info.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : EINVAL;
    std::fclose(file);
    Fail("%s is not a regular file", path);
    errno = reason;
    return nullptr;
  }
  return file;
}

int64_t RegularFileSize(std::FILE* file) {
  struct _stat64 info {};
  if (!file || _fstat64(_fileno(file), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

}  // namespace tqla
