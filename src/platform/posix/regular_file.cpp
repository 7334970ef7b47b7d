#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "frame/trace.h"

namespace tqla {

std::FILE* OpenRegularFile(const char* path) {
  if (!path) return nullptr;
  // Non-blocking, so that opening a FIFO without a writer returns at once.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int reason = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    close(fd);
    Fail("%s is not a regular file", path);
    errno = reason;
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "rb");
  if (!file) close(fd);
  return file;
}

int64_t RegularFileSize(std::FILE* file) {
  struct stat info {};
  if (!file || fstat(fileno(file), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

}  // namespace tqla
