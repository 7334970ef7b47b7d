#include "platform/paths.h"

#include <windows.h>

namespace tqla::platform {
namespace {

// The folder of the module (DLL or program) this code is linked into.
std::string ModuleFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&ModuleFolder), &self)) {
    return "";
  }
  char path[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  std::string folder(path, length);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? "" : folder.substr(0, slash);
}

}  // namespace

std::string EnvironmentValue(const char* name) {
  char value[MAX_PATH * 4];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : "";
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
  return folder + "\\" + name;
}

// The user's local application data, then beside the DLL: its firmware
// folder, then its own folder (where installers put data files).
std::vector<std::string> SystemFirmwareFolders() {
  std::vector<std::string> folders;
  const std::string localAppData = EnvironmentValue("LOCALAPPDATA");
  if (!localAppData.empty()) folders.push_back(JoinPath(localAppData, "tqla\\firmware"));
  const std::string module = ModuleFolder();
  if (!module.empty()) {
    folders.push_back(JoinPath(module, "firmware"));
    folders.push_back(module);
  }
  return folders;
}

}  // namespace tqla::platform
