#include "platform/threads.h"

#include <pthread.h>
#include <windows.h>

namespace tqla::platform {

// std::thread runs on the MinGW-w64 POSIX thread layer; its handle names
// the Windows thread underneath.
bool SetTimeCritical(std::thread& thread) {
  const HANDLE handle = pthread_gethandle(thread.native_handle());
  return handle && SetThreadPriority(handle, THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

bool RaiseProcessPriority() { return SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS) != 0; }

}  // namespace tqla::platform
