#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "cli.h"
#include "terminal.h"

namespace tqla::cli {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

size_t TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 1 ? static_cast<size_t>(columns) : 80;
}

std::FILE* OpenStandardOutput() {
  const int fd = _dup(_fileno(stdout));
  if (fd < 0) return nullptr;
  _setmode(fd, _O_BINARY);
  std::FILE* stream = _fdopen(fd, "wb");
  if (!stream) _close(fd);
  return stream;
}

// Windows gives no inode; the size and the modification time in seconds
// tell a file written by a run from the one before it.
FileStamp StampOf(const std::string& path) {
  struct _stat64 info {};
  FileStamp stamp;
  if (path.empty() || _stat64(path.c_str(), &info) != 0) return stamp;
  stamp.regular = (info.st_mode & _S_IFMT) == _S_IFREG;
  stamp.device = static_cast<uint64_t>(info.st_dev);
  stamp.size = static_cast<uint64_t>(info.st_size);
  stamp.seconds = info.st_mtime;
  return stamp;
}

bool IsRegularFile(std::FILE* stream) {
  struct _stat64 info {};
  return _fstat64(_fileno(stream), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
}

size_t TextLineEndBytes() { return 2; }

// Large pages need a privilege few users hold; the heap's pages serve.
void AdviseHugePages(void*, size_t) {}

// Capture files are read on Windows.
FileMap MapFile(const std::string&, size_t) { return {}; }

bool UnmapFile(FileMap& map) {
  map = {};
  return false;
}

std::string MakeTemporaryFile() {
  char folder[MAX_PATH + 1];
  char path[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "tql", 0, path) == 0)
    throw CliError("cannot create a temporary file: Windows error " + std::to_string(GetLastError()));
  return path;
}

}  // namespace tqla::cli
