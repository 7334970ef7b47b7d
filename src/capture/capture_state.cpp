#include "capture/capture_state.h"

namespace tqla {

CaptureState captureState;

}  // namespace tqla
