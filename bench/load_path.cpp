// Getting a capture file's samples into memory the decoders can walk, two
// ways: read in large blocks into fresh memory advised to huge pages (what
// the tool does), or map the file read-only and touch every page. The file is
// 1 s at 24 MHz (96 MB) and sits in the page cache after the first round, as
// it does when a user decodes the capture they just took; bytes per second
// are bytes of samples, each one summed once so that both ways deliver them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kBytes = size_t{24000000} * 4;
constexpr size_t kHuge = size_t{2} << 20;

const std::string& SampleFile() {
  static const std::string path = [] {
    std::string p = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/tqla-load-path.bin");
    std::vector<uint32_t> words(kBytes / 4);
    for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint32_t>(i * 2654435761u);
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (f) {
      std::fwrite(words.data(), 1, kBytes, f);
      std::fclose(f);
    }
    return p;
  }();
  return path;
}

uint64_t Sum(const uint32_t* words, size_t count) {
  uint64_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum += words[i];
  return sum;
}

void ReadIntoHugePages(benchmark::State& state) {
  const std::string& path = SampleFile();
  for (auto _ : state) {
    void* block = std::aligned_alloc(kHuge, (kBytes + kHuge - 1) & ~(kHuge - 1));
    madvise(block, kBytes, MADV_HUGEPAGE);
    const int fd = open(path.c_str(), O_RDONLY);
    size_t got = 0;
    while (got < kBytes) {
      const ssize_t n = read(fd, static_cast<char*>(block) + got, kBytes - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    close(fd);
    benchmark::DoNotOptimize(Sum(static_cast<const uint32_t*>(block), got / 4));
    std::free(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(ReadIntoHugePages)->Unit(benchmark::kMillisecond);

void MapReadOnly(benchmark::State& state) {
  const std::string& path = SampleFile();
  for (auto _ : state) {
    const int fd = open(path.c_str(), O_RDONLY);
    void* map = mmap(nullptr, kBytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
      state.SkipWithError("mmap failed");
      break;
    }
    benchmark::DoNotOptimize(Sum(static_cast<const uint32_t*>(map), kBytes / 4));
    munmap(map, kBytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(MapReadOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
