// What a benchmark's process spends on the CPU, whole and per thread, for
// the benchmarks that run the pod at its true rate.
#pragma once

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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

}  // namespace tqla::bench
