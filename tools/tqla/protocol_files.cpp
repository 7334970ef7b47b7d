#include "protocol_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "cli.h"

namespace tqla::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kExtension = ".txt";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// The tool runs from its build tree when its executable lies inside it.
bool InBuildTree() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return false;
  const std::string build = fs::path(TQLA_BUILD_DIR).lexically_normal().string() + "/";
  return self.lexically_normal().string().rfind(build, 0) == 0;
}

std::string Summary(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  const size_t text = line.find_first_not_of("; \t");
  if (line.empty() || line[0] != ';' || text == std::string::npos) return "";
  line.erase(0, text);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

}  // namespace

// The XDG base directories, as the library's firmware folders follow them.
std::vector<std::string> ProtocolSearchPath() {
  std::vector<std::string> folders;
  if (!Env("TQLA_PROTOCOL_DIR").empty()) folders.push_back(Env("TQLA_PROTOCOL_DIR"));
  std::string dataHome = Env("XDG_DATA_HOME");
  if (dataHome.empty() && !Env("HOME").empty()) dataHome = Env("HOME") + "/.local/share";
  if (!dataHome.empty()) folders.push_back(dataHome + "/tqla/protocols");
  std::string dataDirs = Env("XDG_DATA_DIRS");
  if (dataDirs.empty()) dataDirs = "/usr/local/share:/usr/share";
  for (size_t start = 0; start <= dataDirs.size();) {
    const size_t end = std::min(dataDirs.find(':', start), dataDirs.size());
    if (end > start) folders.push_back(dataDirs.substr(start, end - start) + "/tqla/protocols");
    start = end + 1;
  }
  folders.push_back(TQLA_DEFAULT_PROTOCOL_DIR);
  if (InBuildTree()) folders.push_back(TQLA_SOURCE_PROTOCOL_DIR);
  // The installed folder is often one of the data folders too.
  std::vector<std::string> once;
  for (const std::string& folder : folders) {
    if (std::find(once.begin(), once.end(), folder) == once.end()) once.push_back(folder);
  }
  return once;
}

std::string ResolveProtocol(const std::string& nameOrPath) {
  std::error_code error;
  if (nameOrPath.find('/') != std::string::npos || fs::exists(nameOrPath, error)) return nameOrPath;
  const std::vector<std::string> folders = ProtocolSearchPath();
  for (const std::string& folder : folders) {
    for (const std::string& file : {nameOrPath + kExtension, nameOrPath}) {
      const fs::path path = fs::path(folder) / file;
      if (IsFile(path)) return path.string();
    }
  }
  std::string tried;
  for (const std::string& folder : folders) tried += (tried.empty() ? "" : ", ") + folder;
  throw CliError(nameOrPath + ": no such file, and no protocol definition of that name in " + tried +
                 " ('tqla packets list' shows the definitions there)");
}

std::vector<InstalledProtocol> InstalledProtocols() {
  std::map<std::string, InstalledProtocol> found;
  for (const std::string& folder : ProtocolSearchPath()) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      const fs::path& path = it->path();
      if (path.extension() != kExtension || !IsFile(path)) continue;
      const std::string name = path.stem().string();
      if (!found.count(name)) found[name] = {name, path.string(), Summary(path)};
    }
  }
  std::vector<InstalledProtocol> list;
  for (auto& [name, protocol] : found) list.push_back(std::move(protocol));
  return list;
}

}  // namespace tqla::cli
