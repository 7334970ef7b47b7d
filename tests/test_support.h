// Shared helpers of the test suites.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "frame/console.h"
#include "frame/sample_buffer.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::test {

// A fresh directory per test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TQLA_TEST_TMP");
    std::filesystem::path root = base ? base : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(root);
    std::string pattern = (root / "tqla-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The trace lines the library wrote while a test ran.
class TraceLog {
 public:
  void Start() { TqlaSetTraceSink(&TraceLog::Sink, this); }
  void Stop() { TqlaSetTraceSink(nullptr, nullptr); }
  ~TraceLog() { Stop(); }
  bool Contains(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    for (const std::string& line : lines_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  bool Has(const std::string& line) {
    std::lock_guard<std::mutex> hold(lock_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> hold(lock_);
    return lines_;
  }

 private:
  static void Sink(const char* line, void* user) {
    auto* log = static_cast<TraceLog*>(user);
    std::lock_guard<std::mutex> hold(log->lock_);
    log->lines_.emplace_back(line);
  }
  std::mutex lock_;
  std::vector<std::string> lines_;
};

// The library's console messages, caught in memory while this lives.
class ConsoleText {
 public:
  ConsoleText() : stream_(open_memstream(&text_, &length_)) { SetConsoleStream(stream_); }
  ~ConsoleText() {
    SetConsoleStream(nullptr);
    std::fclose(stream_);
    std::free(text_);
  }
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;
  std::string str() {
    std::fflush(stream_);
    return std::string(text_, length_);
  }

 private:
  char* text_ = nullptr;
  size_t length_ = 0;
  FILE* stream_;
};

inline std::vector<uint8_t> ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file the library writes for hosts that seek by offset: every line end must
// be CR LF. Returns the text with LF line ends, for comparing with literals.
inline std::string ReadCrLfText(const std::string& name) {
  const auto bytes = ReadAll(name);
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    else EXPECT_NE(bytes[i], '\n') << name << ": bare LF at byte " << i;
    text.push_back(static_cast<char>(bytes[i]));
  }
  return text;
}

inline void WriteAll(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// A sample buffer made through the API for one test and freed after it.
class ScopedBuffer {
 public:
  explicit ScopedBuffer(uint32_t words) : words_(MakeBuffer(words)) {}
  ~ScopedBuffer() {
    if (words_) DeleteBuffer(words_);
  }
  ScopedBuffer(const ScopedBuffer&) = delete;
  ScopedBuffer& operator=(const ScopedBuffer&) = delete;
  uint32_t* get() const { return words_; }
  uint32_t& operator[](size_t i) const { return words_[i]; }

 private:
  uint32_t* words_;
};

// Runs body in a child process whose files may grow to at most bytes, as on
// a disk that fills up, and returns body's result (0-255), or -1 when the
// child did not exit. The signal the limit raises is ignored, so writes past
// it fail with EFBIG.
template <class F>
int WithFileSizeLimit(uint64_t bytes, F&& body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(static_cast<int>(body()) & 0xFF);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Points the library at a host array as its current buffer, as a capture
// start does, with a chosen captured length.
inline void UseHostBuffer(std::vector<uint32_t>& words, uint32_t captured) {
  SetCurrentBuffer(words.data(), static_cast<uint32_t>(words.size()), static_cast<uint32_t>(words.size()));
  sampleBuffer.CapturedLength.store(captured);
}

}  // namespace tqla::test
