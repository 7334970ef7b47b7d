#include "cli.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <vector>

#include "commands.h"
#include "pod.h"
#include "sample_words.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

const OptionSpec* FindLong(const CommandSpec& spec, const std::string& name) {
  for (const OptionSpec& o : spec.options)
    if (name == o.longName) return &o;
  return nullptr;
}

const OptionSpec* FindShort(const CommandSpec& spec, char name) {
  for (const OptionSpec& o : spec.options)
    if (o.shortName != 0 && o.shortName == name) return &o;
  return nullptr;
}

std::string Display(const OptionSpec& o) { return std::string("--") + o.longName; }

}  // namespace

bool ParsedArgs::Has(const std::string& longName) const {
  return values_.count(longName) != 0 || flags_.count(longName) != 0;
}

std::string ParsedArgs::Value(const std::string& longName, const std::string& fallback) const {
  auto it = values_.find(longName);
  return it == values_.end() ? fallback : it->second;
}

std::vector<std::string> ParsedArgs::Values(const std::string& longName) const {
  std::vector<std::string> values;
  for (const auto& [name, value] : given_)
    if (name == longName) values.push_back(value);
  return values;
}

uint64_t ParsedArgs::Unsigned(const std::string& longName, uint64_t fallback, uint64_t max) const {
  auto it = values_.find(longName);
  return it == values_.end() ? fallback : ParseUnsigned("--" + longName, it->second, max);
}

int64_t ParsedArgs::Signed(const std::string& longName, int64_t fallback, int64_t min, int64_t max) const {
  auto it = values_.find(longName);
  return it == values_.end() ? fallback : ParseSigned("--" + longName, it->second, min, max);
}

ParsedArgs ParseArgs(const CommandSpec& spec, int argc, char** argv) {
  ParsedArgs result;
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded || word == "-" || word.size() < 2 || word[0] != '-') {
      result.positional.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--help" || word == "-h") {
      result.help = true;
      continue;
    }
    const OptionSpec* option = nullptr;
    std::string value;
    bool hasInlineValue = false;
    if (word[1] == '-') {
      const size_t eq = word.find('=');
      const std::string name = word.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      option = FindLong(spec, name);
      if (!option) throw UsageError("unknown option '--" + name + "'");
      if (eq != std::string::npos) {
        hasInlineValue = true;
        value = word.substr(eq + 1);
      }
    } else {
      option = FindShort(spec, word[1]);
      if (!option) throw UsageError(std::string("unknown option '-") + word[1] + "'");
      if (word.size() > 2) {
        hasInlineValue = true;
        value = word.substr(2);
      }
    }
    if (!option->valueName) {
      if (hasInlineValue) throw UsageError(Display(*option) + " takes no value");
      result.flags_.insert(option->longName);
      continue;
    }
    if (!hasInlineValue) {
      if (i + 1 >= argc) throw UsageError(Display(*option) + " needs a value (" + option->valueName + ")");
      value = argv[++i];
    }
    result.values_[option->longName] = value;
    result.given_.emplace_back(option->longName, value);
  }
  if (result.help) return result;
  if (result.positional.size() < spec.minPositional)
    throw UsageError(std::string("missing argument: ") + spec.usage);
  if (result.positional.size() > spec.maxPositional)
    throw UsageError("unexpected argument '" + result.positional[spec.maxPositional] + "'");
  return result;
}

void PrintHelp(const CommandSpec& spec, std::FILE* out) {
  std::fprintf(out, "usage: tqla %s %s\n\n%s\n", spec.name, spec.usage, spec.description);
  if (spec.options.empty()) return;
  std::fprintf(out, "\noptions:\n");
  for (const OptionSpec& o : spec.options) {
    std::string left = o.shortName ? std::string("-") + o.shortName + ", " : "    ";
    left += Display(o);
    if (o.valueName) left += std::string(" ") + o.valueName;
    std::fprintf(out, "  %-24s %s\n", left.c_str(), o.help);
  }
  std::fprintf(out, "  %-24s %s\n", "-h, --help", "show this help");
}

uint64_t ParseUnsigned(const std::string& what, const std::string& text, uint64_t max) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec == std::errc::invalid_argument || ptr != end)
    throw UsageError(what + ": '" + text + "' is not a whole number");
  if (ec == std::errc::result_out_of_range || value > max)
    throw UsageError(what + ": " + text + " is out of range (at most " + std::to_string(max) + ")");
  return value;
}

int64_t ParseSigned(const std::string& what, const std::string& text, int64_t min, int64_t max) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec == std::errc::invalid_argument || ptr != end)
    throw UsageError(what + ": '" + text + "' is not a whole number");
  if (ec == std::errc::result_out_of_range || value < min || value > max)
    throw UsageError(what + ": " + text + " is out of range (" + std::to_string(min) + " to " +
                     std::to_string(max) + ")");
  return value;
}

void RequireRegularFile(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) throw CliError(path + ": no such file");
  if (!std::filesystem::is_regular_file(status)) throw CliError(path + ": not a regular file");
}

OutputFile::OutputFile(const std::string& path) {
  if (path.empty() || path == "-") {
    name_ = "standard output";
    std::fflush(stdout);
    file_ = OpenStandardOutput();
  } else {
    name_ = path;
    file_ = std::fopen(path.c_str(), "wb");
  }
  if (!file_) throw CliError("cannot write " + name_ + ": " + std::strerror(errno));
  if (name_ == path) removable_ = IsRegularFile(file_);
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

OutputFile::~OutputFile() {
  if (!file_) return;
  std::fclose(file_);
  if (removable_) std::remove(name_.c_str());
}

void OutputFile::Close() {
  if (!file_) return;
  const bool failed = std::ferror(file_) != 0;
  const int error = errno;
  const bool closeFailed = std::fclose(file_) != 0;
  const int closeError = errno;
  file_ = nullptr;
  if (!failed && !closeFailed) return;
  std::string message = "writing " + name_ + " failed: " + std::strerror(closeFailed ? closeError : error);
  if (removable_ && std::remove(name_.c_str()) == 0) message += " (the partial file was removed)";
  throw CliError(message);
}

PartialOutputGuard::PartialOutputGuard(std::vector<std::string> paths) {
  for (std::string& path : paths) {
    const Stamp before = Take(path);
    files_.emplace_back(std::move(path), before);
  }
}

PartialOutputGuard::~PartialOutputGuard() {
  if (keep_) return;
  for (const auto& [path, before] : files_) {
    const Stamp now = Take(path);
    if (now.regular && !(now == before)) std::remove(path.c_str());
  }
}

std::optional<uint64_t> PartialOutputGuard::RegularSize(const std::string& path) {
  const Stamp stamp = Take(path);
  if (!stamp.regular) return std::nullopt;
  return stamp.size;
}

Progress::Progress(const char* label, uint64_t total) : label_(label), total_(total) {
  // Below a million samples a job is over before a percentage helps.
  active_ = total >= (1u << 20) && IsTerminal(stderr);
}

Progress::~Progress() {
  if (active_) std::fprintf(stderr, "\r%s: done      \n", label_);
}

void Progress::Show(uint64_t done) {
  const uint64_t percent = done * 100 / total_;
  std::fprintf(stderr, "\r%s: %3u%%", label_, static_cast<unsigned>(percent));
  std::fflush(stderr);
  next_ = (percent + 1) * total_ / 100;
}

namespace {

void TraceToStderr(const char* line, void*) { std::fprintf(stderr, "trace: %s\n", line); }

void PrintToolHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: tqla [--verbose] [--sim[=ID]] [--sim-traffic=NAME] COMMAND [OPTIONS]\n\n"
               "Captures, streams, exports, draws and decodes data of the USB logic analyzer\nand scope pod.\n\n"
               "commands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  std::fprintf(out,
               "\noptions:\n"
               "  -v, --verbose  show the library's trace on stderr\n"
               "  --sim[=ID]     attach a simulated pod (pod ID 1 by default) playing\n"
               "                 demonstration traffic, for any command\n"
               "  --sim-traffic=NAME\n"
               "                 what the simulated pod plays (implies --sim): %s\n"
               "  -h, --help     show this help\n"
               "  --version      show the version\n\n"
               "'tqla COMMAND --help' describes a command; see also tqla(1).\n",
               SimTrafficNames().c_str());
}

}  // namespace

namespace {
std::atomic<bool> interruptRequested{false};
void OnInterrupt(int) { interruptRequested.store(true); }
}  // namespace

InterruptGuard::InterruptGuard() {
  interruptRequested.store(false);
  previous_ = std::signal(SIGINT, OnInterrupt);
}

InterruptGuard::~InterruptGuard() { std::signal(SIGINT, previous_); }

bool InterruptGuard::Interrupted() { return interruptRequested.load(); }

bool verbose = false;

int Main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int at = 1;
  std::vector<uint32_t> simIds;  // each --sim attaches a pod, all playing the same traffic
  std::string simTraffic = "demo";
  bool trafficChosen = false;
  for (; at < argc && argv[at][0] == '-'; ++at) {
    const std::string word = argv[at];
    if (word == "--verbose" || word == "-v") {
      TqlaSetTraceSink(TraceToStderr, nullptr);
      verbose = true;
    } else if (word == "--help" || word == "-h") {
      PrintToolHelp(stdout);
      return 0;
    } else if (word == "--sim" || word.rfind("--sim=", 0) == 0 || word.rfind("--sim-traffic=", 0) == 0) {
      try {
        if (word.rfind("--sim-traffic=", 0) == 0) {
          simTraffic = word.substr(14);
          SimTrafficSource(simTraffic);
          trafficChosen = true;
        } else {
          simIds.push_back(word == "--sim" ? 1u : static_cast<uint32_t>(ParseUnsigned("--sim", word.substr(6), 0xFFFF)));
        }
      } catch (const std::exception& e) {
        std::fprintf(stderr, "tqla: %s\n", e.what());
        return 1;
      }
    } else if (word == "--version") {
      std::printf("tqla %s\n", TQLA_VERSION);
      return 0;
    } else {
      std::fprintf(stderr, "tqla: unknown option '%s' (see 'tqla --help')\n", word.c_str());
      return 1;
    }
  }
  if (trafficChosen && simIds.empty()) simIds.push_back(1);
  try {
    for (uint32_t id : simIds) AttachSimulatedPod(id, SimTrafficSource(simTraffic));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tqla: %s\n", e.what());
    return 1;
  }
  if (at >= argc) {
    std::fprintf(stderr, "tqla: no command given (see 'tqla --help')\n");
    return 1;
  }
  const std::string name = argv[at];
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    try {
      const int status = c.run(argc - at - 1, argv + at + 1);
      // A capture file that another process truncated while it was mapped
      // gave zeros for the pages it lost: what came of them is wrong.
      bool cut = false;
      for (const std::string& path : TakeFilesCutWhileRead()) {
        std::fprintf(stderr, "tqla %s: %s was truncated while it was being read; the output is not valid\n", c.name,
                     path.c_str());
        cut = true;
      }
      return cut ? 1 : status;
    } catch (const UsageError& e) {
      std::fprintf(stderr, "tqla %s: %s (see 'tqla %s --help')\n", c.name, e.what(), c.name);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tqla %s: %s\n", c.name, e.what());
    }
    return 1;
  }
  std::fprintf(stderr, "tqla: unknown command '%s' (see 'tqla --help')\n", name.c_str());
  return 1;
}

}  // namespace tqla::cli
