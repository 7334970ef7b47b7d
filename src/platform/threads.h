// Scheduling of the library's threads. The capture, stream and generator
// threads feed or drain the pod's small FIFOs and must not be kept waiting by
// other work on the machine.
#pragma once

#include <thread>

namespace tqla::platform {

// Asks for time-critical (real-time) scheduling of thread; false where the
// system refuses it, and the thread then runs at normal priority.
bool SetTimeCritical(std::thread& thread);

// True once the process is ending with library threads already stopped by
// the system (a Windows process that exits without closing the pod): teardown
// must then neither join them nor take locks they may have held.
bool ProcessEnding();

// Raises the whole process's priority for the length of a run; false where
// the system refuses it.
bool RaiseProcessPriority();

}  // namespace tqla::platform
