#include "frame/log_file.h"

#include <cstdarg>
#include <cstdio>

#include "platform/clock.h"

namespace tqla {
namespace {
constexpr const char* kLogFileName = "tqlog.txt";
}

void LogStart() {
  FILE* file = std::fopen(kLogFileName, "wt");
  if (!file) return;
  std::fprintf(file, "%d:  TQ Log Init\n", static_cast<int>(platform::TickCount()));
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
  std::fprintf(file, "%d: %s\n", static_cast<int>(platform::TickCount()), text);
  std::fclose(file);
}

}  // namespace tqla
