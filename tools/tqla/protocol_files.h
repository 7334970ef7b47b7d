// Protocol definition files found by name, for --protocol and tqla packets.
// The library takes paths; the tool looks names up in these folders, first
// match wins:
//   $TQLA_PROTOCOL_DIR,
//   $XDG_DATA_HOME/tqla/protocols (~/.local/share when unset),
//   each folder of $XDG_DATA_DIRS with tqla/protocols (/usr/local/share and
//     /usr/share when unset),
//   the installed folder (<prefix>/share/tqla/protocols),
//   and, for a tool run from its build tree, the source tree's protocols/.
#pragma once

#include <string>
#include <vector>

namespace tqla::cli {

std::vector<std::string> ProtocolSearchPath();

// A path, or a word that names something on disk, is used as it stands. Any
// other word is a name: NAME.txt (or NAME as written) in the first folder that
// holds it as a file.
// Throws CliError naming the folders tried when nothing is found.
std::string ResolveProtocol(const std::string& nameOrPath);

struct InstalledProtocol {
  std::string name;     // file name without .txt
  std::string path;
  std::string summary;  // the file's first comment line
};

// The definitions along the search path, each name once (the one that
// ResolveProtocol finds), sorted by name.
std::vector<InstalledProtocol> InstalledProtocols();

}  // namespace tqla::cli
