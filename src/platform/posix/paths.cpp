#include "platform/paths.h"

#include <algorithm>
#include <cstdlib>

namespace tqla::platform {

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string JoinPath(const std::string& folder, const std::string& name) { return folder + "/" + name; }

// The XDG data folders, then the folder the library was installed with.
std::vector<std::string> SystemFirmwareFolders() {
  std::vector<std::string> folders;
  std::string dataHome = EnvironmentValue("XDG_DATA_HOME");
  if (dataHome.empty() && !EnvironmentValue("HOME").empty()) dataHome = EnvironmentValue("HOME") + "/.local/share";
  if (!dataHome.empty()) folders.push_back(dataHome + "/tqla/firmware");
  std::string dataDirs = EnvironmentValue("XDG_DATA_DIRS");
  if (dataDirs.empty()) dataDirs = "/usr/local/share:/usr/share";
  size_t start = 0;
  while (start <= dataDirs.size()) {
    const size_t end = std::min(dataDirs.find(':', start), dataDirs.size());
    if (end > start) folders.push_back(dataDirs.substr(start, end - start) + "/tqla/firmware");
    start = end + 1;
  }
  folders.push_back(TQLA_DEFAULT_FIRMWARE_DIR);
  return folders;
}

}  // namespace tqla::platform
