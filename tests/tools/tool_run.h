// Runs the built tool from the tool tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <vector>
#include <string>

#include "test_support.h"

namespace tqla::cli {

struct ToolRun {
  int status;
  std::string out, err;
};

// Runs the tool in dir; shell words in front (e.g. "ulimit -f 4;") go first.
inline ToolRun Tool(const test::TempDir& dir, const std::string& args, const std::string& front = "") {
  const std::string out = dir.file("stdout"), err = dir.file("stderr");
  const int raw = std::system(("cd '" + dir.path().string() + "' && " + front + " '" TQLA_CLI_PATH "' " + args +
                               " >'" + out + "' 2>'" + err + "'")
                                  .c_str());
  auto text = [](const std::string& f) {
    const auto b = test::ReadAll(f);
    return std::string(b.begin(), b.end());
  };
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text(out), text(err)};
}

struct Failure {
  std::string args;
  std::string message;
};

// Each command line fails with status 1 and its message on stderr.
inline void ExpectFailures(const test::TempDir& dir, std::initializer_list<Failure> failures) {
  for (const Failure& f : failures) {
    const ToolRun run = Tool(dir, f.args);
    EXPECT_EQ(run.status, 1) << f.args;
    EXPECT_NE(run.err.find(f.message), std::string::npos) << f.args << ": " << run.err;
  }
}

// The two-digit hexadecimal values of record lines, in order: the bodies of
// "TIME, NAME, [S] A0,Write ACK 00,ACK [P]" (A0 00) and of the lines that
// go on without a header ("90,ACK [P]").
inline std::vector<std::string> RecordHexBytes(const std::string& records) {
  std::vector<std::string> bytes;
  const std::regex header("^ *-?[0-9.]+(ns|us|ms|s ),[^,]*,");
  const std::regex byte("\\b[0-9A-F]{2}\\b");
  std::istringstream lines(records);
  for (std::string line; std::getline(lines, line);) {
    const std::string text = std::regex_replace(line, header, "", std::regex_constants::format_first_only);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), byte); it != std::sregex_iterator(); ++it)
      bytes.push_back(it->str());
  }
  return bytes;
}

}  // namespace tqla::cli
