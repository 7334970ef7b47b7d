// Windows error codes as text for trace lines and last errors.
#pragma once

#include <cstdint>
#include <string>

namespace tqla::platform {

// The system's message for a GetLastError code, with the code: "The specified
// module could not be found. (error 126)".
std::string ErrorText(uint32_t code);

}  // namespace tqla::platform
