// The simulated pod: two emulated FX2 controllers with the boot loader's
// firmware-load request, the CPU reset register, the endpoint layouts of the
// pod's alternate settings, and the programs of the stand-in images (status
// byte, commands, sample streams, pattern output, static I/O, EEPROM).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/signal_source.h"
#include "usb/usb_backend.h"

namespace tqla::sim {

using Clock = std::chrono::steady_clock;

// What the CPU of an FX2 runs, decided by the image loaded when its reset is released.
enum class Program : uint8_t {
  None,     // held in reset, or never started
  Unknown,  // an image that is no stand-in: it answers nothing
  Logic16, Logic8, Timing, Scope2, Scope1, Stream, Generator8, Generator16, Mode, Vendor,
};

struct ControlRecord {
  usb::SetupPacket setup;
  uint8_t firstByte = 0;  // first data byte of a write
  bool ok = false;
};

class SimPod;

class SimFx2 {
 public:
  // pod is null for a plain device that runs no program.
  SimFx2(SimPod* pod, bool digital, uint16_t vendorId, uint16_t productId, uint16_t release);
  ~SimFx2();
  SimFx2(const SimFx2&) = delete;
  SimFx2& operator=(const SimFx2&) = delete;

  usb::DeviceDescriptor Descriptor() const;
  std::vector<usb::AltSettingDescriptor> AltSettings() const;
  int CurrentAltSetting();
  bool SelectAltSetting(uint8_t setting);
  bool Control(const usb::SetupPacket& setup, uint8_t* data, uint32_t& transferred);
  void Submit(usb::TransferContext& transfer);
  void Cancel(usb::TransferContext& transfer);
  void CancelEndpoint(uint8_t endpoint);
  bool ClearHalt(uint8_t endpoint);

  // Fails every request from now on, pending ones included.
  void Unplug();
  // Stops the pump thread for good.
  void Shutdown();
  void Stall(uint8_t endpoint);
  // The next sample request that starts filling ends after bytes: a short
  // packet. The samples after it go on in the next request.
  void ShortTransfer(uint32_t bytes);
  // Wakes the pump so that it looks at the pod's sample clock again. May be
  // called with the Digital FX2's lock held (never the other way round).
  void Wake();

  // What tests and hosts read back.
  Program RunningProgram();
  std::string ProgramName();
  uint32_t ReadOutput(uint8_t endpoint, uint8_t* buffer, uint32_t length);
  std::vector<ControlRecord> ControlLog();
  uint8_t BreakCounter();

 private:
  struct Stream {
    bool on = false;
    uint64_t generation = 0;
    std::shared_ptr<const ByteStream> bytes;
    Clock::time_point start;
    double bytesPerSecond = 0;
    uint64_t sampledBytes = 0;  // signal bytes the converters have produced
    uint64_t readPosition = 0;  // next stream byte to hand to the host
    uint32_t fifoFill = 0;      // produced, not yet handed over
    double budget = 0;          // bytes the bus may still carry (bandwidth limit)
    Clock::time_point budgetTime;
  };
  struct OutputLog {
    std::unique_ptr<uint8_t[]> bytes;  // a ring, made at the first byte
    size_t head = 0;                   // oldest byte kept
    size_t kept = 0;
  };

  static int EndpointSlot(uint8_t address);
  bool InCurrentSetting(uint8_t address) const;
  bool ProgramRuns() const { return program_ != Program::None && program_ != Program::Unknown; }
  bool FailingControl();
  bool HandleControl(const usb::SetupPacket& setup, uint8_t* data, uint32_t& transferred);
  void WriteCpuControl(uint8_t value);
  void StartProgram();
  void HoldProgram();
  void Service(Clock::time_point now);
  void ServiceStatus();
  void ServiceCommands();
  void ServiceOutData(int slot, Clock::time_point now);
  void ServiceSamples(Clock::time_point now);
  void HandleCommand(const uint8_t* bytes, uint32_t length);
  void SyncSampleClock();
  // Where a sample request ends (its length, or the short-packet cut), and
  // its completion.
  uint32_t TransferEnd(usb::TransferContext* t);
  void EndTransfer(usb::TransferContext* t);
  void Record(int slot, const uint8_t* bytes, uint32_t length);
  void SetProgram(Program program, const std::string& name);
  void FailPending(uint8_t address, usb::TransferStatus status);
  void EnsurePump();
  void PumpLoop();
  bool NeedsTicks() const;

  SimPod* const pod_;
  const bool digital_;
  const uint16_t vendorId_, productId_, release_;

  std::mutex lock_;
  // What hosts and tests read back while the data path holds lock_ for long
  // stretches (a drain-paced stream takes it for every request): the program,
  // the output logs and the control log. Taken after lock_, never before it.
  std::mutex readBackLock_;
  std::condition_variable wake_;
  std::thread pump_;
  bool quit_ = false;
  bool unplugged_ = false;
  int altSetting_ = 0;
  std::array<uint8_t, 8192> ram_{};
  bool cpuHeld_ = false;
  Program program_ = Program::None;
  std::string programName_;
  bool readySent_ = false;
  std::atomic<uint8_t> breakCounter_{0};
  // Pending requests per endpoint slot (see EndpointSlot), oldest first.
  std::array<std::deque<usb::TransferContext*>, 8> pending_;
  std::array<bool, 8> halted_{};
  std::array<OutputLog, 8> outputs_;
  std::vector<ControlRecord> controlLog_;
  Stream stream_;
  uint32_t shortBytes_ = 0;
  usb::TransferContext* shortTarget_ = nullptr;
  // Reply of the static-input read command, waiting on endpoint 0x86.
  std::vector<uint8_t> reply_;
  size_t replyAt_ = 0;
  uint64_t staticPosition_ = 0;
  uint16_t signalMask_ = 0;
  // Pattern output of the generator programs.
  void Drive(const uint8_t* bytes, uint32_t count, uint64_t gap);
  bool generating_ = false;
  bool played_ = false;     // the run has put data out
  double missedBytes_ = 0;  // bytes the rate wanted since data last came
  double outputBusBudget_ = 0;
  std::optional<uint8_t> pendingByte_;  // half a 16-bit sample
  std::vector<uint16_t> driven_;
  double outputBytesPerSecond_ = 0;
  double outputBudget_ = 0;
  Clock::time_point outputTime_;
};

// Pod-wide settings, shared by both FX2.
struct PodSettings {
  bool realTime = true;
  bool fullSpeed = false;
  bool noReadyByte = false;
  // Control transfers that still succeed before failures start; -1 = none fail.
  int64_t controlPassCount = -1;
  uint32_t controlFailCount = 0;
  double bandwidthBytesPerSecond = 0;  // 0: no limit
};

// The sample clock the Digital FX2 starts (GO, or a running TimingImage) and
// the Analog FX2 follows, so both streams carry the same samples.
struct SampleClock {
  bool running = false;
  uint64_t generation = 0;
  Clock::time_point start;
  double samplesPerSecond = 0;
};

// What a pod's output lines carry (channel order): the level they hold now,
// and for pods whose inputs are wired to them, the samples the generator's
// last run played. Its lock is taken last of all.
class LineRecord {
 public:
  // Samples of a run kept for replay (32 MiB).
  static constexpr size_t kLimit = size_t{1} << 24;

  // A generator run starts at rate; the level it starts from is kept.
  void BeginRun(double rate);
  // Samples the generator put out, in order; a gap (the pod ran dry and then
  // got data again) holds the level for its length first.
  void Played(const uint16_t* samples, size_t count, uint64_t gap = 0);
  // Static output.
  void SetLevel(uint16_t level);
  uint16_t Level();
  void SetWired(bool wired);

  struct Run {
    uint16_t before = 0;  // the level when the run began
    uint16_t level = 0;   // the level now, held after the run
    double rate = 0;
    std::vector<uint16_t> samples;
  };
  Run LastRun();

 private:
  std::mutex lock_;
  bool wired_ = false;
  Run run_;
};

class SimPod {
 public:
  static constexpr uint32_t kEepromBytes = 16384;

  explicit SimPod(uint32_t podId);
  uint32_t PodId() const { return podId_; }
  SimFx2& Digital() { return digital_; }
  SimFx2& Analog() { return analog_; }

  PodSettings Settings();
  template <class F>
  void Update(F&& change) {
    std::lock_guard<std::mutex> hold(lock_);
    change(settings_);
  }
  // A new source plays from its start at the next GO.
  void SetSource(std::shared_ptr<const SignalSource> source);
  // A control transfer is about to run: false when a failure is injected for it.
  bool ControlAllowed();
  bool ReadEeprom(uint32_t address, uint8_t* data, uint32_t length);
  bool WriteEeprom(uint32_t address, const uint8_t* data, uint32_t length);
  // The source's bytes for one FX2 program, made once per source and format.
  std::shared_ptr<const ByteStream> StreamFor(StreamFormat format);
  // The word the inputs read at a position (static input): the source's, or
  // the level of the lines wired to them.
  uint32_t SourceWord(uint64_t position);

  // This pod's output lines, and the lines its digital inputs are wired to
  // (null: its own source). A wired pod replays, from each GO, 65536 samples
  // of the level the driving lines had before their last generator run, then
  // that run at this GO's rate, then the level they hold now.
  LineRecord& Outputs() { return *outputs_; }
  void WireInputs(std::shared_ptr<SimPod> from);
  // GO with a rate: a wired pod makes its replay the source to play.
  void PrepareInputs(double samplesPerSecond);

  void StartClock(double samplesPerSecond);
  void StopClock();
  SampleClock ClockNow();

 private:
  const uint32_t podId_;
  // Taken after an FX2's lock, never before it.
  std::mutex lock_;
  PodSettings settings_;
  // The source the host chose, and the one playing (a replay when wired).
  std::shared_ptr<const SignalSource> base_;
  std::shared_ptr<const SignalSource> source_;
  std::shared_ptr<LineRecord> outputs_ = std::make_shared<LineRecord>();
  std::shared_ptr<LineRecord> inputs_;
  std::vector<uint8_t> eeprom_;
  SampleClock clock_;
  std::vector<std::pair<StreamFormat, std::shared_ptr<const ByteStream>>> streams_;
  SimFx2 digital_;
  SimFx2 analog_;
};

}  // namespace tqla::sim
