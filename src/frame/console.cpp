#include "frame/console.h"

#include <cstdarg>

#include "frame/export.h"

namespace tqla {
namespace {

FILE* consoleStream = nullptr;
TqlaTraceSink consoleSink = nullptr;
void* consoleUser = nullptr;

}  // namespace

void ConsolePrint(const char* format, ...) {
  char message[5000];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  if (length <= 0) return;
  const size_t written = static_cast<size_t>(length) < sizeof message ? static_cast<size_t>(length) : sizeof message - 1;
  if (consoleSink) {
    message[written] = '\0';
    consoleSink(message, consoleUser);
    return;
  }
  std::fwrite(message, 1, written, consoleStream ? consoleStream : stdout);
}

void SetConsoleStream(FILE* stream) { consoleStream = stream; }

}  // namespace tqla

extern "C" void TQLA_API TqlaSetConsoleSink(TqlaTraceSink sink, void* user) {
  tqla::consoleUser = user;
  tqla::consoleSink = sink;
}
