#include "frame/log_file.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace tqla {
namespace {
constexpr const char* kLogFileName = "tqlog.txt";
}

uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void LogStart() {
  FILE* file = std::fopen(kLogFileName, "wt");
  if (!file) return;
  std::fprintf(file, "%d:  TQ Log Init\n", static_cast<int>(TickCount()));
  std::fclose(file);
}

void LogEntry(const char* format, ...) {
  char text[1000];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  FILE* file = std::fopen(kLogFileName, "a");
  if (!file) return;
  std::fprintf(file, "%d: %s\n", static_cast<int>(TickCount()), text);
  std::fclose(file);
}

}  // namespace tqla
