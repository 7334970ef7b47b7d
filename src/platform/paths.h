// Where data files are: environment values and the system's own folders.
#pragma once

#include <string>
#include <vector>

namespace tqla::platform {

// The environment variable's value, "" when unset.
std::string EnvironmentValue(const char* name);

// folder and name joined with the system's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// The system's folders for the firmware images, searched in this order after
// the host's folder and $TQLA_FIRMWARE_DIR.
std::vector<std::string> SystemFirmwareFolders();

}  // namespace tqla::platform
