// Throughput of the packet engine: data entries per second through a
// two-layer protocol file, and the cost per entry of fixed-length packets of
// growing size (it must stay flat).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "decoders/decoder_state.h"
#include "frame/console.h"
#include "tqla/tqla.h"

namespace {

// Console messages and packet records go to /dev/null; the work stays the same.
class PacketRun {
 public:
  explicit PacketRun(const std::string& protocol) {
    path_ = (std::filesystem::temp_directory_path() / "tqla_bench_protocol.txt").string();
    FILE* f = std::fopen(path_.c_str(), "wb");
    std::fputs(protocol.c_str(), f);
    std::fclose(f);
    console_ = std::fopen("/dev/null", "w");
    tqla::SetConsoleStream(console_);
    char output[] = "/dev/null";
    char error[256] = "";
    ok_ = InitializeRedodoRovodovoz(path_.data(), output, error) == 1;
    if (!ok_) std::fprintf(stderr, "protocol rejected: %s\n", error);
  }
  ~PacketRun() {
    CloseRedodoRovodovoz();
    tqla::SetConsoleStream(nullptr);
    std::fclose(console_);
    std::filesystem::remove(path_);
  }
  bool ok() const { return ok_; }

 private:
  std::string path_;
  FILE* console_ = nullptr;
  bool ok_ = false;
};

void Feed(benchmark::State& state, int64_t entriesPerIteration) {
  uint32_t sample = 0;
  for (auto _ : state) {
    for (int64_t i = 0; i < entriesPerIteration; ++i, ++sample) {
      SendDataStream(0, sample, static_cast<uint8_t>(sample * 7), 8, 1, 0, static_cast<int32_t>(sample));
    }
  }
  state.SetItemsProcessed(state.iterations() * entriesPerIteration);
}

// A 64-byte link frame whose hidden BODY field carries a message layer.
void BM_TwoLayers(benchmark::State& state) {
  PacketRun run(
      "[PROTOCOL]\nNAME = LINK\n[END]\nTYPE = LENGTH\nBYTELENGTH = 64\n"
      "[FIELDS]\nFIELDS HDR.8.H SEQ.8.D BODY.N.I\n"
      "[PROTOCOL]\nNAME = BODY\n[END]\nTYPE = EVENT\nEVENT = 127\nEXCLUDE\n"
      "[FIELDS]\nFIELDS CMD.8.H LEN.16.D DATA.N.H\n");
  if (!run.ok()) {
    state.SkipWithError("protocol rejected");
    return;
  }
  Feed(state, 64 * 64);
}
BENCHMARK(BM_TwoLayers);

// Fixed-length packets of state.range(0) bytes with a field over all of them.
void BM_FixedLength(benchmark::State& state) {
  const std::string length = std::to_string(state.range(0));
  PacketRun run("[PROTOCOL]\nNAME = FIXED\n[END]\nTYPE = LENGTH\nBYTELENGTH = " + length +
                "\n[FIELDS]\nFIELDS FIRST.8.H ALL.N.H\n");
  if (!run.ok()) {
    state.SkipWithError("protocol rejected");
    return;
  }
  Feed(state, 8192);
}
BENCHMARK(BM_FixedLength)->Arg(1)->Arg(64)->Arg(4096);

}  // namespace

BENCHMARK_MAIN();
