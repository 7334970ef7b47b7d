#include "platform/threads.h"

#include <pthread.h>
#include <windows.h>

#include <atomic>

namespace tqla::platform {
namespace {

std::atomic<bool> processEnding{false};

}  // namespace

bool ProcessEnding() { return processEnding.load(); }

// std::thread runs on the MinGW-w64 POSIX thread layer; its handle names
// the Windows thread underneath.
bool SetTimeCritical(std::thread& thread) {
  const HANDLE handle = pthread_gethandle(thread.native_handle());
  return handle && SetThreadPriority(handle, THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

bool RaiseProcessPriority() { return SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS) != 0; }

}  // namespace tqla::platform

// The DLL's entry point, called before its static objects are destroyed. A
// process that exits has already stopped every other thread, so the library's
// threads can neither be joined nor give up the locks they held.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) tqla::platform::processEnding.store(true);
  return TRUE;
}
