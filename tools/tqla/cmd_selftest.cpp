#include <fstream>
#include <iostream>

#include "cli.h"
#include "commands.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

constexpr CommandSpec kSpec = {
    "selftest",
    "",
    "Tests every pod FX2 on the bus (IDs, endpoints, port speed) and prints the\n"
    "report it writes to tqlog.txt in the current folder. Fails when the report\n"
    "holds a failed test.",
    {},
    0,
    0,
};

}  // namespace

int RunSelftest(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  uint32_t ids[512] = {};
  TestTQPod(ids);
  std::ifstream log("tqlog.txt");
  if (!log) throw CliError("the self-test wrote no tqlog.txt (is the current folder writable?)");
  bool failed = false;
  for (std::string line; std::getline(log, line);) {
    std::printf("%s\n", line.c_str());
    if (line.find("***TEST FAILED***") != std::string::npos) failed = true;
  }
  return failed ? 1 : 0;
}

}  // namespace tqla::cli
