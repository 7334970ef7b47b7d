// The command framework of the tqla tool: option parsing, help texts, error
// reporting and the output streams every command shares.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "terminal.h"

namespace tqla::cli {

// A failure the user can act on; the message is printed as it stands.
class CliError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command line that cannot be understood; the tool points at --help.
class UsageError : public CliError {
 public:
  using CliError::CliError;
};

// One option of a command. valueName null makes it a flag.
struct OptionSpec {
  const char* longName;   // without the leading "--"
  char shortName;         // 0 when there is none
  const char* valueName;  // shown in the help, e.g. "FILE"
  const char* help;
};

// What a command accepts, for parsing and for its --help text.
struct CommandSpec {
  const char* name;
  const char* usage;        // after "tqla NAME ", e.g. "[OPTIONS] CAPTURE"
  const char* description;  // one or more lines
  std::span<const OptionSpec> options;
  size_t minPositional;
  size_t maxPositional;
};

class ParsedArgs {
 public:
  bool help = false;
  std::vector<std::string> positional;

  bool Has(const std::string& longName) const;
  // The value of an option, or fallback when it was not given.
  std::string Value(const std::string& longName, const std::string& fallback = "") const;
  // Every value of an option given more than once, in command-line order.
  std::vector<std::string> Values(const std::string& longName) const;
  // The value as an unsigned or signed number in range, or fallback.
  uint64_t Unsigned(const std::string& longName, uint64_t fallback, uint64_t max = UINT64_MAX) const;
  int64_t Signed(const std::string& longName, int64_t fallback, int64_t min, int64_t max) const;

 private:
  friend ParsedArgs ParseArgs(const CommandSpec&, int, char**);
  std::map<std::string, std::string> values_;  // the last value of each
  std::vector<std::pair<std::string, std::string>> given_;
  std::set<std::string> flags_;
};

// Parses argv[0..argc) (the words after the command name). Options may be
// given as "--name VALUE", "--name=VALUE", "-x VALUE" or "-xVALUE"; "--"
// ends the options. Throws UsageError.
ParsedArgs ParseArgs(const CommandSpec& spec, int argc, char** argv);

void PrintHelp(const CommandSpec& spec, std::FILE* out);

// Number parsing with the option's name in the message.
uint64_t ParseUnsigned(const std::string& what, const std::string& text, uint64_t max = UINT64_MAX);
int64_t ParseSigned(const std::string& what, const std::string& text, int64_t min, int64_t max);

// Throws CliError "PATH: no such file" or "PATH: not a regular file" unless
// path names a regular file (after links), the only kind the tool reads.
void RequireRegularFile(const std::string& path);

// Where a command writes its data: a file, or standard output for "-" or no
// name. Fully buffered even on standard output, whose messages are flushed
// per line, so bulk data does not cost a write per line. A named regular file
// that is not closed successfully (a failed write, or a command that ends by
// an error before Close) is removed, so no partial file looks complete.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  std::FILE* get() const { return file_; }
  // Flushes and closes; throws CliError when anything failed to write.
  void Close();

 private:
  std::FILE* file_ = nullptr;
  std::string name_;
  bool removable_ = false;  // a regular file named by the user
};

// Files that a library call writes by name. Unless Keep() is called, the
// destructor removes each of them that is a regular file created or changed
// since the guard was made: a failed run leaves no partial file, and a file
// the run never reached stays as it was.
class PartialOutputGuard {
 public:
  explicit PartialOutputGuard(std::vector<std::string> paths);
  ~PartialOutputGuard();
  PartialOutputGuard(const PartialOutputGuard&) = delete;
  PartialOutputGuard& operator=(const PartialOutputGuard&) = delete;
  void Keep() { keep_ = true; }
  // Bytes in path when it is a regular file, else nothing (a device or a pipe).
  static std::optional<uint64_t> RegularSize(const std::string& path);

 private:
  using Stamp = FileStamp;
  static Stamp Take(const std::string& path) { return StampOf(path); }
  std::vector<std::pair<std::string, Stamp>> files_;
  bool keep_ = false;
};

// Percent progress on stderr for long jobs, shown only when stderr is a
// terminal so logs and pipes stay clean.
class Progress {
 public:
  Progress(const char* label, uint64_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Update(uint64_t done) {
    if (active_ && done >= next_) Show(done);
  }

 private:
  void Show(uint64_t done);
  const char* label_;
  uint64_t total_;
  uint64_t next_ = 0;
  bool active_ = false;
};

// While one lives, Ctrl-C does not end the tool but sets a flag that long
// commands poll, so they can stop the pod and keep what they have.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  static bool Interrupted();

 private:
  void (*previous_)(int);
};

// The exit status of a run cut short by Ctrl-C (or a capture by its
// --timeout): not 0, which is success, nor 1, which every failure and usage
// error gives.
inline constexpr int kExitCutShort = 2;

// Runs the tool: argv[0] is the program name. Returns the exit status.
int Main(int argc, char** argv);

// Set by the global --verbose: the library's trace and console go to stderr.
extern bool verbose;

}  // namespace tqla::cli
