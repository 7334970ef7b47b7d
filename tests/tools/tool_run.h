// Runs the built tool, and the tool's commands in this process, from the tool
// tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <vector>
#include <string>

#include "cli.h"
#include "commands.h"
#include "test_support.h"

namespace tqla::cli {

// A file's bytes as text.
inline std::string Text(const std::string& path) {
  const auto b = test::ReadAll(path);
  return {b.begin(), b.end()};
}

// What write(FILE*) puts into a stream.
template <class Write>
std::string Written(Write&& write) {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  write(out);
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

// The message of the Error that run() throws; "" when it throws none.
template <class Error = CliError, class Run>
std::string Thrown(Run&& run) {
  try {
    run();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

// Runs a command of the tool in this process.
inline int RunWords(CommandRun command, std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  return command(static_cast<int>(argv.size()), argv.data());
}

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
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Text(out), Text(err)};
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
