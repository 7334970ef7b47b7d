#include "platform/threads.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

namespace tqla::platform {

bool SetTimeCritical(std::thread& thread) {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO) / 2;
  return pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param) == 0;
}

// Threads run on until the library's own teardown has joined them.
bool ProcessEnding() { return false; }

bool RaiseProcessPriority() { return setpriority(PRIO_PROCESS, 0, -10) == 0; }

}  // namespace tqla::platform
