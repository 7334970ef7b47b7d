#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli.h"
#include "terminal.h"

namespace tqla::cli {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)); }

size_t TerminalColumns() {
  winsize size{};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col : 80;
}

std::FILE* OpenStandardOutput() {
  const int fd = dup(STDOUT_FILENO);
  std::FILE* stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!stream && fd >= 0) close(fd);
  return stream;
}

FileStamp StampOf(const std::string& path) {
  struct stat info {};
  FileStamp stamp;
  if (path.empty() || stat(path.c_str(), &info) != 0) return stamp;
  stamp.regular = S_ISREG(info.st_mode);
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = static_cast<uint64_t>(info.st_size);
  stamp.seconds = info.st_mtim.tv_sec;
  stamp.nanoseconds = info.st_mtim.tv_nsec;
  return stamp;
}

bool IsRegularFile(std::FILE* stream) {
  struct stat info {};
  return fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode);
}

size_t TextLineEndBytes() { return 1; }

void AdviseHugePages(void* begin, size_t bytes) { madvise(begin, bytes, MADV_HUGEPAGE); }

std::string MakeTemporaryFile() {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tqla-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) throw CliError("cannot create a temporary file: " + std::string(std::strerror(errno)));
  close(fd);
  return path;
}

}  // namespace tqla::cli
