#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

namespace {

// The live file mappings, as the bus error handler sees them: it reads only
// these atomics and makes one system call.
struct MapSlot {
  std::atomic<uintptr_t> begin{0}, end{0};
  std::atomic<bool> cut{false};
};
constexpr int kMapSlots = 16;
MapSlot mapSlots[kMapSlots];
std::mutex mapSlotsLock;
struct sigaction previousBusError {};
uintptr_t pageBytes = 4096;

// A touch of a page past the end of a mapped file that shrank: an anonymous
// zero page takes its place, the mapping is marked cut and the access is
// repeated. Any other bus error goes to the handler that was there before.
void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (MapSlot& slot : mapSlots) {
    if (address >= slot.begin.load() && address < slot.end.load()) {
      void* page = reinterpret_cast<void*>(address & ~(pageBytes - 1));
      if (mmap(page, pageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
        slot.cut.store(true);
        return;
      }
    }
  }
  if (previousBusError.sa_flags & SA_SIGINFO) {
    previousBusError.sa_sigaction(signal, info, context);
  } else if (previousBusError.sa_handler != SIG_DFL && previousBusError.sa_handler != SIG_IGN) {
    previousBusError.sa_handler(signal);
  } else {
    // The fault repeats on return and ends the process as it would have.
    ::signal(SIGBUS, SIG_DFL);
  }
}

bool GuardBusErrors() {
  static const bool installed = [] {
    pageBytes = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &previousBusError) == 0;
  }();
  return installed;
}

}  // namespace

FileMap MapFile(const std::string& path, size_t bytes) {
  FileMap map;
  if (bytes == 0 || !GuardBusErrors()) return map;
  std::lock_guard<std::mutex> hold(mapSlotsLock);
  int free = 0;
  while (free < kMapSlots && mapSlots[free].end.load() != 0) ++free;
  if (free == kMapSlots) return map;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return map;
  // Populated for reading, the mapping shares the file's cached pages; made
  // writable after, a page is copied only when something writes to it.
  void* base = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  close(fd);
  if (base == MAP_FAILED) return map;
  if (mprotect(base, bytes, PROT_READ | PROT_WRITE) != 0) {
    munmap(base, bytes);
    return map;
  }
  MapSlot& slot = mapSlots[free];
  slot.cut.store(false);
  slot.begin.store(reinterpret_cast<uintptr_t>(base));
  slot.end.store(reinterpret_cast<uintptr_t>(base) + bytes);
  map.base = static_cast<uint8_t*>(base);
  map.bytes = bytes;
  map.slot = free;
  return map;
}

bool UnmapFile(FileMap& map) {
  if (!map.base) return false;
  std::lock_guard<std::mutex> hold(mapSlotsLock);
  MapSlot& slot = mapSlots[map.slot];
  munmap(map.base, map.bytes);
  const bool cut = slot.cut.load();
  slot.end.store(0);
  slot.begin.store(0);
  map = {};
  return cut;
}

std::string MakeTemporaryFile() {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tqla-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) throw CliError("cannot create a temporary file: " + std::string(std::strerror(errno)));
  close(fd);
  return path;
}

}  // namespace tqla::cli
