#include "frame/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "frame/export.h"

namespace tqla {
namespace {

struct TraceState {
  std::atomic<TqlaTraceSink> sink{nullptr};
  std::atomic<void*> user{nullptr};
};
TraceState traceState;

thread_local char lastError[1000] = "";

void Keep(const char* text) { std::snprintf(lastError, sizeof lastError, "%s", text); }

}  // namespace

void Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(lastError, sizeof lastError, format, args);
  va_end(args);
  TraceText(lastError);
}

void FailText(const char* text) {
  Keep(text ? text : "");
  TraceText(lastError);
}

const char* LastErrorText() { return lastError; }

void ClearLastError() { lastError[0] = '\0'; }

bool TraceEnabled() { return traceState.sink.load(std::memory_order_acquire) != nullptr; }

void Trace(const char* format, ...) {
  TqlaTraceSink sink = traceState.sink.load(std::memory_order_acquire);
  if (!sink) return;
  char line[1000];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  sink(line, traceState.user.load(std::memory_order_acquire));
}

void TraceText(const char* text) {
  TqlaTraceSink sink = traceState.sink.load(std::memory_order_acquire);
  if (sink && text) sink(text, traceState.user.load(std::memory_order_acquire));
}

}  // namespace tqla

extern "C" const char* TQLA_API TqlaLastError(void) { return tqla::LastErrorText(); }

extern "C" void TQLA_API TqlaSetTraceSink(TqlaTraceSink sink, void* user) {
  tqla::traceState.sink.store(nullptr, std::memory_order_release);
  tqla::traceState.user.store(user, std::memory_order_release);
  tqla::traceState.sink.store(sink, std::memory_order_release);
}
