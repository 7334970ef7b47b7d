// The frame every export runs in: no exception crosses the API.
#pragma once

#include <exception>

#include "frame/trace.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla {

// Runs body and returns its result; an exception becomes the export's
// documented failure value and a trace line.
template <class R, class F>
R Guarded(const char* name, R failure, F&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    Trace("%s failed: %s", name, e.what());
  } catch (...) {
    Trace("%s failed", name);
  }
  return failure;
}

template <class F>
void GuardedVoid(const char* name, F&& body) noexcept {
  try {
    body();
  } catch (const std::exception& e) {
    Trace("%s failed: %s", name, e.what());
  } catch (...) {
    Trace("%s failed", name);
  }
}

}  // namespace tqla
