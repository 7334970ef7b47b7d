// The simulated pod at the real pod's full rate: 16 digital channels at
// 24 MS/s (48 MB/s) from the Digital FX2 and both scope channels at 24 MS/s
// (48 MB/s) from the Analog FX2 at once, in real-time pacing, drained by one
// host thread per FX2 that keeps 32 requests of 64 KiB in flight as the
// capture threads do. Reports the throughput of each FX2, the breaks (lost
// data) and the CPU the whole process used as a fraction of one core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "device/pod_firmware.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"
#include "usb/cyusb.h"

namespace {

using namespace tqla;

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Drain {
  uint64_t bytes = 0;
  uint64_t failed = 0;
  double hostCpu = 0;
};

// Keeps 32 reads of 64 KiB queued on endpoint 0x86 until stop is set.
void DrainEndpoint(CCyUSBDevice* device, const std::atomic<bool>& stop, std::atomic<int>& queued, Drain& result) {
  static thread_local uint8_t buffers[32][65536];
  usb::Overlapped events[32];
  usb::TransferContext* contexts[32];
  CCyUSBEndPoint* ep6 = device->FindEndpoint(0x86);
  for (int i = 0; i < 32; ++i) contexts[i] = ep6->BeginTransfer(buffers[i], 65536, &events[i]);
  ++queued;
  while (!stop.load()) {
    for (int i = 0; i < 32 && !stop.load(); ++i) {
      if (!ep6->WaitTransfer(&events[i], 120)) {
        ++result.failed;
        continue;
      }
      int32_t length = 0;
      if (ep6->FinishTransfer(buffers[i], length, &events[i], contexts[i])) result.bytes += length;
      contexts[i] = ep6->BeginTransfer(buffers[i], 65536, &events[i]);
    }
  }
  ep6->AbortTransfers();
  for (int i = 0; i < 32; ++i) {
    int32_t length = 0;
    ep6->WaitTransfer(&events[i], 100);
    ep6->FinishTransfer(buffers[i], length, &events[i], contexts[i]);
  }
  result.hostCpu = CpuSeconds(RUSAGE_THREAD);
}

uint8_t Status(CCyUSBDevice* device) {
  uint8_t status = 0;
  int32_t one = 1;
  device->FindEndpoint(0x81)->Transfer(&status, one);
  return status;
}

void BM_SimPodFullRate(benchmark::State& state) {
  for (auto _ : state) {
    TqlaSimReset();
    TqlaSimAddPod(7);
    if (!InitializeTQPod(7)) {
      state.SkipWithError("no simulated pod");
      return;
    }
    CCyUSBDevice* digital = TqlaDigitalDevice();
    CCyUSBDevice* analog = TqlaAnalogDevice();
    digital->SelectAltSetting(1);
    analog->SelectAltSetting(1);
    LoadImage(digital, firmware::Image::Logic16Image);
    LoadImage(analog, firmware::Image::Scope2Image);
    Status(digital);
    Status(analog);  // the ready bytes; later reads give the break counters

    std::atomic<bool> stop{false};
    std::atomic<int> queued{0};
    Drain d, a;
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    std::thread digitalHost(DrainEndpoint, digital, std::cref(stop), std::ref(queued), std::ref(d));
    std::thread analogHost(DrainEndpoint, analog, std::cref(stop), std::ref(queued), std::ref(a));
    // Both hosts have their requests queued before the samples start.
    while (queued.load() < 2) std::this_thread::yield();
    uint8_t go[2] = {1, 1};  // rate divisor 1: 24 MS/s
    int32_t two = 2;
    digital->FindEndpoint(0x01)->Transfer(go, two);
    std::this_thread::sleep_for(std::chrono::seconds(state.range(0)));
    // Read while the hosts still drain: once they stop, the FIFO overflows.
    state.counters["digital_breaks"] = Status(digital);
    state.counters["analog_breaks"] = Status(analog);
    stop.store(true);
    digitalHost.join();
    analogHost.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    state.counters["digital_MBps"] = d.bytes / wall / 1e6;
    state.counters["analog_MBps"] = a.bytes / wall / 1e6;
    state.counters["cores_total"] = cpu / wall;
    state.counters["cores_host_threads"] = (d.hostCpu + a.hostCpu) / wall;
    state.counters["timeouts"] = static_cast<double>(d.failed + a.failed);
    ClosePod();
    TqlaSimReset();
  }
}
BENCHMARK(BM_SimPodFullRate)->Arg(3)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
