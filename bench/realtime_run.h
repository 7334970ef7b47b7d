// What the benchmarks that run the pod at its true rate share: the CPU the
// process spends, whole and per thread, and following a buffered capture.
#pragma once

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include "sim/sim_pod.h"
#include "tqla/tqla.h"

namespace tqla::bench {

inline double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of each thread of the process, by thread id.
inline std::vector<std::pair<int, double>> ThreadCpuSeconds() {
  std::vector<std::pair<int, double>> threads;
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return threads;
  const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    const std::string path = std::string("/proc/self/task/") + entry->d_name + "/stat";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) continue;
    char line[1024] = {};
    const size_t n = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
    line[n] = 0;
    // Fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const char* rest = std::strrchr(line, ')');
    unsigned long utime = 0, stime = 0;
    if (rest && std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) == 2)
      threads.emplace_back(std::atoi(entry->d_name), (utime + stime) / ticks);
  }
  closedir(tasks);
  std::sort(threads.begin(), threads.end());
  return threads;
}

// Per-thread CPU over the run, as cores, in thread id order (threads that
// used less than a hundredth of a core left out).
inline std::string ThreadCores(const std::vector<std::pair<int, double>>& before, double wall) {
  std::string text;
  for (auto [tid, seconds] : ThreadCpuSeconds()) {
    for (auto [earlierTid, earlier] : before)
      if (earlierTid == tid) seconds -= earlier;
    if (seconds / wall < 0.01) continue;
    char item[64];
    std::snprintf(item, sizeof item, "%s%d:%.2f", text.empty() ? "" : " ", tid, seconds / wall);
    text += item;
  }
  return text;
}

// The CPU a run costs from construction on, reported as benchmark counters.
class RunMeter {
 public:
  using Clock = std::chrono::steady_clock;
  RunMeter() : threads_(ThreadCpuSeconds()), cpu_(ProcessCpuSeconds()), start_(Clock::now()) {}
  Clock::time_point Start() const { return start_; }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  // The process's cores over the run, and each busy thread's in the label.
  void Report(benchmark::State& state) const {
    const double wall = Seconds();
    state.counters["cores_process"] = (ProcessCpuSeconds() - cpu_) / wall;
    state.SetLabel("cores per thread " + ThreadCores(threads_, wall));
  }

 private:
  std::vector<std::pair<int, double>> threads_;
  double cpu_;
  Clock::time_point start_;
};

// Follows a buffered capture into a ring of ringWords through CaptureStatus
// every 20 ms until the trigger engine has taken seconds of samples, the run
// has ended, or twice that time has passed. The engine's newest-sample index
// moves on by every batch it has taken. Returns the samples taken; breaks
// receives the status's break count.
inline uint64_t FollowCapture(uint32_t ringWords, double samplesPerSecond, double seconds, int32_t& breaks) {
  const auto target = static_cast<uint64_t>(samplesPerSecond * seconds);
  const auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(2 * seconds);
  uint64_t samples = 0;
  int32_t lastEnd = 0;
  char running = 1;
  while (samples < target && running && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int32_t bufferStart = 0, end = 0, trigger = 0;
    char breakByte = 0, triggered = 0, percent = 0;
    breaks = CaptureStatus(&breakByte, &running, &triggered, &bufferStart, &end, &trigger, &percent);
    samples += static_cast<uint32_t>(end - lastEnd + static_cast<int32_t>(ringWords)) % ringWords;
    lastEnd = end;
  }
  return samples;
}

struct StreamDrain {
  uint64_t blocks = 0;
  uint64_t overflows = 0;
  double firstBreak = -1;  // seconds from start to the FX2's first break; -1: none
};

// The host of a stream for seconds: a thread takes every block the stream
// ring holds (each goes to check), then waits a millisecond.
template <class F>
StreamDrain DrainStream(double seconds, tqla::sim::SimFx2* fx2, RunMeter::Clock::time_point start, F&& check) {
  StreamDrain drain;
  std::atomic<bool> stop{false};
  std::thread host([&] {
    static uint8_t block[65536];
    while (!stop.load()) {
      while (GetNextStreamBuffer(block)) {
        ++drain.blocks;
        check(block);
      }
      if (StreamBufferOverflow()) ++drain.overflows;
      if (drain.firstBreak < 0 && fx2 && fx2->BreakCounter() != 0)
        drain.firstBreak = std::chrono::duration<double>(RunMeter::Clock::now() - start).count();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop.store(true);
  host.join();
  return drain;
}

}  // namespace tqla::bench
