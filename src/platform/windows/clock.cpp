#include "platform/clock.h"

#include <windows.h>

namespace tqla::platform {

uint32_t TickCount() { return GetTickCount(); }

}  // namespace tqla::platform
