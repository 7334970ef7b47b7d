// The frame every export runs in: no exception crosses the API.
#pragma once

#include <exception>

#include "frame/trace.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla {

// Exports nest (one may call another): the outermost one on a thread clears
// the last error as it starts.
class ExportScope {
 public:
  ExportScope() {
    if (depth_++ == 0) ClearLastError();
  }
  ~ExportScope() { --depth_; }
  ExportScope(const ExportScope&) = delete;
  ExportScope& operator=(const ExportScope&) = delete;

 private:
  static inline thread_local int depth_ = 0;
};

// Runs body and returns its result; an exception becomes the export's
// documented failure value and its reason.
template <class R, class F>
R Guarded(const char* name, R failure, F&& body) noexcept {
  ExportScope scope;
  try {
    return body();
  } catch (const std::exception& e) {
    Fail("%s failed: %s", name, e.what());
  } catch (...) {
    Fail("%s failed", name);
  }
  return failure;
}

template <class F>
void GuardedVoid(const char* name, F&& body) noexcept {
  ExportScope scope;
  try {
    body();
  } catch (const std::exception& e) {
    Fail("%s failed: %s", name, e.what());
  } catch (...) {
    Fail("%s failed", name);
  }
}

}  // namespace tqla
