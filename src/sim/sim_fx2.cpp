#include <algorithm>
#include <cmath>
#include <cstring>

#include "firmware/firmware.h"
#include "platform/threads.h"
#include "sim/sim_pod.h"

namespace tqla::sim {
namespace {

using usb::TransferContext;
using usb::TransferStatus;

constexpr uint16_t kCpuControlRegister = 0xE600;
constexpr uint8_t kFirmwareLoadRequest = 0xA0;
constexpr uint8_t kEepromRequest = 0xA2;
constexpr uint8_t kReadyByte = 0x55;
// The FX2's quad-buffered 512-byte endpoint FIFO.
constexpr uint32_t kFifoBytes = 4 * 512;
// Bytes kept per OUT endpoint for reading back; older bytes give way.
constexpr size_t kOutputKeep = 32u << 20;
constexpr size_t kControlLogKeep = 1024;
constexpr double kFx2ClockHz = 48e6;
// Request queues and output logs by endpoint (see SimFx2::EndpointSlot).
constexpr int kCommandSlot = 0;
constexpr int kStatusSlot = 1;
constexpr int kPatternSlot = 2;
constexpr int kOut4Slot = 3;
constexpr int kSampleSlot = 4;

struct EndpointLayout {
  uint8_t address;
  uint16_t highSpeedPacket;
};
// Alternate setting 1; setting 0 has no endpoints besides endpoint 0.
constexpr EndpointLayout kSettingOne[] = {
    {0x01, 64}, {0x81, 64}, {0x02, 512}, {0x04, 512}, {0x86, 512}, {0x88, 512},
};

Program ProgramOf(std::string_view name) {
  using firmware::Image;
  const std::optional<Image> image = firmware::ImageByName(name);
  if (!image) return Program::Unknown;
  switch (*image) {
    case Image::Logic16Image: return Program::Logic16;
    case Image::Logic8Image: return Program::Logic8;
    case Image::TimingImage: return Program::Timing;
    case Image::Scope2Image: return Program::Scope2;
    case Image::Scope1Image: return Program::Scope1;
    case Image::Generator8Image: return Program::Generator8;
    case Image::Generator16Image: return Program::Generator16;
    case Image::VendorImage: return Program::Vendor;
    default: break;
  }
  return name.starts_with("StreamImage") ? Program::Stream : Program::Mode;
}

bool Streams(Program p) {
  return p == Program::Logic16 || p == Program::Logic8 || p == Program::Stream || p == Program::Scope2 ||
         p == Program::Scope1;
}

StreamFormat FormatOf(Program p) {
  switch (p) {
    case Program::Logic16: return StreamFormat::Digital16;
    case Program::Scope2: return StreamFormat::Analog2;
    case Program::Scope1: return StreamFormat::Analog1;
    default: return StreamFormat::Digital8;
  }
}

// Output rate of the generator's waveform descriptor: the 24 MHz set is told
// apart by its state-6 length; the others run at 48 MHz over the lengths of
// states 4 and 5 plus one.
double GeneratorRate(const uint8_t* descriptor) {
  if (descriptor[6] == 0x3d) return 24e6;
  return kFx2ClockHz / (descriptor[4] + descriptor[5] + 1);
}

}  // namespace

SimFx2::SimFx2(SimPod* pod, bool digital, uint16_t vendorId, uint16_t productId, uint16_t release)
    : pod_(pod), digital_(digital), vendorId_(vendorId), productId_(productId), release_(release) {}

SimFx2::~SimFx2() { Shutdown(); }

usb::DeviceDescriptor SimFx2::Descriptor() const {
  const bool fullSpeed = pod_ && pod_->Settings().fullSpeed;
  return usb::DeviceDescriptor{vendorId_, productId_, release_, !fullSpeed};
}

std::vector<usb::AltSettingDescriptor> SimFx2::AltSettings() const {
  std::vector<usb::AltSettingDescriptor> settings(1);
  if (!pod_) return settings;
  const bool fullSpeed = pod_->Settings().fullSpeed;
  usb::AltSettingDescriptor one;
  one.alternateSetting = 1;
  for (const EndpointLayout& e : kSettingOne) {
    one.endpoints.push_back({e.address, 2, static_cast<uint16_t>(fullSpeed ? 64 : e.highSpeedPacket)});
  }
  settings.push_back(one);
  return settings;
}

int SimFx2::EndpointSlot(uint8_t address) {
  switch (address) {
    case 0x01: return 0;
    case 0x81: return 1;
    case 0x02: return 2;
    case 0x04: return 3;
    case 0x86: return 4;
    case 0x88: return 5;
    default: return -1;
  }
}

bool SimFx2::InCurrentSetting(uint8_t address) const {
  return pod_ && altSetting_ == 1 && EndpointSlot(address) >= 0;
}

int SimFx2::CurrentAltSetting() {
  std::lock_guard<std::mutex> hold(lock_);
  return unplugged_ ? -1 : altSetting_;
}

bool SimFx2::SelectAltSetting(uint8_t setting) {
  std::lock_guard<std::mutex> hold(lock_);
  if (unplugged_ || setting > (pod_ ? 1 : 0)) return false;
  altSetting_ = setting;
  if (setting == 0) {
    for (const EndpointLayout& e : kSettingOne) FailPending(e.address, TransferStatus::Error);
  }
  return true;
}

void SimFx2::FailPending(uint8_t address, TransferStatus status) {
  const int slot = EndpointSlot(address);
  if (slot < 0) return;
  for (TransferContext* t : pending_[slot]) {
    if (t == shortTarget_) shortTarget_ = nullptr;
    t->Complete(status, t->filled);
  }
  pending_[slot].clear();
}

// ---- Control requests ----

bool SimFx2::FailingControl() { return pod_ && !pod_->ControlAllowed(); }

bool SimFx2::Control(const usb::SetupPacket& setup, uint8_t* data, uint32_t& transferred) {
  std::lock_guard<std::mutex> hold(lock_);
  transferred = 0;
  if (unplugged_) return false;
  const bool ok = !FailingControl() && HandleControl(setup, data, transferred);
  ControlRecord record{setup, static_cast<uint8_t>(!(setup.requestType & 0x80) && setup.length && data ? data[0] : 0),
                       ok};
  std::lock_guard<std::mutex> readBack(readBackLock_);
  if (controlLog_.size() >= kControlLogKeep) controlLog_.erase(controlLog_.begin());
  controlLog_.push_back(record);
  return ok;
}

bool SimFx2::HandleControl(const usb::SetupPacket& setup, uint8_t* data, uint32_t& transferred) {
  if (!pod_ || ((setup.requestType >> 5) & 3) != 2) return false;
  const bool in = setup.requestType & 0x80;
  const uint32_t length = setup.length;
  if (length && !data) return false;
  if (setup.request == kFirmwareLoadRequest) {
    // The boot loader serves this whatever the CPU runs.
    if (setup.value == kCpuControlRegister) {
      if (length != 1) return false;
      if (in) {
        data[0] = cpuHeld_ ? 1 : 0;
      } else {
        WriteCpuControl(data[0]);
      }
      transferred = 1;
      return true;
    }
    if (setup.value + length > ram_.size()) return false;
    if (in) {
      std::memcpy(data, ram_.data() + setup.value, length);
    } else {
      std::memcpy(ram_.data() + setup.value, data, length);
    }
    transferred = length;
    return true;
  }
  if (setup.request == kEepromRequest && digital_ && program_ == Program::Vendor) {
    const bool ok = in ? pod_->ReadEeprom(setup.value, data, length) : pod_->WriteEeprom(setup.value, data, length);
    if (ok) transferred = length;
    return ok;
  }
  return false;
}

void SimFx2::WriteCpuControl(uint8_t value) {
  if (value & 1) {
    HoldProgram();
  } else if (cpuHeld_) {
    StartProgram();
  }
}

void SimFx2::HoldProgram() {
  cpuHeld_ = true;
  SetProgram(Program::None, "");
  stream_.on = false;
  generating_ = false;
  reply_.clear();
  replyAt_ = 0;
  if (digital_) pod_->StopClock();
}

void SimFx2::StartProgram() {
  cpuHeld_ = false;
  const std::string name(firmware::StandInName(ram_.data()));
  SetProgram(name.empty() ? Program::Unknown : ProgramOf(name), name);
  readySent_ = false;
  breakCounter_.store(0);
  staticPosition_ = 0;
  signalMask_ = 0;
  stream_ = Stream{};
  if (program_ == Program::Timing && digital_) {
    // Without digital channels the Digital FX2 paces the Analog FX2 from the
    // divisor patched into its image.
    pod_->StartClock(kFx2ClockHz / (ram_[firmware::kTimingDivisorOffset] + 1.0));
    pod_->Analog().Wake();
  }
  EnsurePump();
}

// ---- Bulk requests ----

void SimFx2::Submit(TransferContext& transfer) {
  std::lock_guard<std::mutex> hold(lock_);
  if (unplugged_) {
    transfer.Complete(TransferStatus::NoDevice, 0);
    return;
  }
  const int slot = EndpointSlot(transfer.endpoint);
  if (slot < 0 || !InCurrentSetting(transfer.endpoint)) {
    transfer.Complete(TransferStatus::Error, 0);
    return;
  }
  if (halted_[slot]) {
    transfer.Complete(TransferStatus::Stalled, 0);
    return;
  }
  pending_[slot].push_back(&transfer);
  Service(Clock::now());
}

void SimFx2::Cancel(TransferContext& transfer) {
  std::lock_guard<std::mutex> hold(lock_);
  const int slot = EndpointSlot(transfer.endpoint);
  if (slot < 0) return;
  auto& queue = pending_[slot];
  auto it = std::find(queue.begin(), queue.end(), &transfer);
  if (it == queue.end()) return;
  queue.erase(it);
  if (&transfer == shortTarget_) shortTarget_ = nullptr;
  transfer.Complete(TransferStatus::Cancelled, transfer.filled);
}

void SimFx2::CancelEndpoint(uint8_t endpoint) {
  std::lock_guard<std::mutex> hold(lock_);
  FailPending(endpoint, TransferStatus::Cancelled);
}

bool SimFx2::ClearHalt(uint8_t endpoint) {
  std::lock_guard<std::mutex> hold(lock_);
  const int slot = EndpointSlot(endpoint);
  if (unplugged_ || slot < 0) return false;
  halted_[slot] = false;
  return true;
}

void SimFx2::Stall(uint8_t endpoint) {
  std::lock_guard<std::mutex> hold(lock_);
  const int slot = EndpointSlot(endpoint);
  if (slot < 0) return;
  halted_[slot] = true;
  FailPending(endpoint, TransferStatus::Stalled);
}

void SimFx2::Unplug() {
  std::lock_guard<std::mutex> hold(lock_);
  unplugged_ = true;
  for (const EndpointLayout& e : kSettingOne) FailPending(e.address, TransferStatus::NoDevice);
  SetProgram(Program::None, programName_);
  stream_.on = false;
  generating_ = false;
}

void SimFx2::Service(Clock::time_point now) {
  if (!ProgramRuns()) return;
  ServiceStatus();
  ServiceCommands();
  ServiceOutData(kPatternSlot, now);
  ServiceOutData(kOut4Slot, now);
  ServiceSamples(now);
}

void SimFx2::ServiceStatus() {
  const bool noReadyByte = pod_->Settings().noReadyByte;
  for (TransferContext* t : pending_[kStatusSlot]) {
    if (t->length == 0) {
      t->Complete(TransferStatus::Completed, 0);
      continue;
    }
    t->buffer[0] = !readySent_ && !noReadyByte ? kReadyByte : breakCounter_.load();
    readySent_ = true;
    t->Complete(TransferStatus::Completed, 1);
  }
  pending_[kStatusSlot].clear();
}

void SimFx2::ServiceCommands() {
  auto& queue = pending_[kCommandSlot];
  while (!queue.empty()) {
    TransferContext* t = queue.front();
    queue.pop_front();
    Record(kCommandSlot, t->buffer, t->length);
    HandleCommand(t->buffer, t->length);
    t->Complete(TransferStatus::Completed, t->length);
  }
}

void SimFx2::HandleCommand(const uint8_t* bytes, uint32_t length) {
  switch (program_) {
    case Program::Logic16:
    case Program::Logic8:
    case Program::Stream:
      if (length == 2 && digital_ && bytes[0] == 1) {
        pod_->PrepareInputs(kFx2ClockHz / (bytes[1] + 1.0));
        pod_->StartClock(kFx2ClockHz / (bytes[1] + 1.0));
        // The pump may be in its long idle wait; from now on it must tick.
        wake_.notify_all();
        pod_->Analog().Wake();
      } else if (length == 2 && digital_ && bytes[0] == 0) {
        pod_->StopClock();
        // A streaming image sends what it holds as a short packet, which
        // ends the host's oldest request.
        auto& queue = pending_[kSampleSlot];
        if (program_ == Program::Stream && !queue.empty()) {
          TransferContext* t = queue.front();
          queue.pop_front();
          t->Complete(TransferStatus::Completed, t->filled);
        }
      }
      break;
    case Program::Generator8:
    case Program::Generator16:
      if (length == 33 && bytes[0] == 1) {
        generating_ = true;
        outputBytesPerSecond_ = GeneratorRate(bytes + 1) * (program_ == Program::Generator8 ? 1 : 2);
        outputBudget_ = 0;
        outputTime_ = Clock::now();
        played_ = false;
        missedBytes_ = 0;
        outputBusBudget_ = 0;
        pendingByte_.reset();
        pod_->Outputs().BeginRun(GeneratorRate(bytes + 1));
        // The pump may be in its long idle wait; from now on it must tick.
        wake_.notify_all();
      }
      break;
    case Program::Mode:
      if (length == 4) {
        signalMask_ = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
        const uint32_t count = (bytes[2] << 8) | bytes[3];
        if (count == 0) break;
        reply_.resize(2 * count);
        replyAt_ = 0;
        for (uint32_t i = 0; i < count; ++i) {
          const uint16_t value = PortValue(pod_->SourceWord(staticPosition_++));
          reply_[2 * i] = static_cast<uint8_t>(value);
          reply_[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
      }
      break;
    default:
      break;
  }
}

void SimFx2::ServiceOutData(int slot, Clock::time_point now) {
  auto& queue = pending_[slot];
  const bool generator = slot == kPatternSlot && (program_ == Program::Generator8 || program_ == Program::Generator16);
  // A generator's pattern waits in the host's requests until its timing has
  // arrived; then it leaves at the generator's rate, or at once in drain pacing.
  if (generator && !generating_) return;
  const bool paced = generator && pod_->Settings().realTime;
  if (!paced) {
    for (TransferContext* t : queue) {
      Record(slot, t->buffer, t->length);
      if (generator) Drive(t->buffer, t->length, 0);
      if (slot == kPatternSlot && program_ == Program::Mode && t->length >= 2) {
        // Static output: the lines keep the last value sent.
        const uint8_t* last = t->buffer + (t->length & ~1u) - 2;
        pod_->Outputs().SetLevel(ChannelValue(last[0], last[1]));
      }
      t->Complete(TransferStatus::Completed, t->length);
    }
    queue.clear();
    return;
  }
  // What the rate wants and the host (or the bus, under the bandwidth fault)
  // does not bring in time is an underrun: the lines hold their level for it,
  // and when data comes again the status byte counts one.
  const PodSettings settings = pod_->Settings();
  const double seconds = std::chrono::duration<double>(now - outputTime_).count();
  outputTime_ = now;
  outputBudget_ += seconds * outputBytesPerSecond_;
  double allowed = outputBudget_;
  if (settings.bandwidthBytesPerSecond > 0) {
    outputBusBudget_ = std::min(outputBusBudget_ + seconds * settings.bandwidthBytesPerSecond,
                                settings.bandwidthBytesPerSecond * 0.002);
    allowed = std::min(allowed, outputBusBudget_);
  }
  const uint32_t bytesPerSample = program_ == Program::Generator8 ? 1 : 2;
  uint32_t consumed = 0;
  while (!queue.empty() && allowed - consumed >= 1) {
    TransferContext* t = queue.front();
    const auto n = static_cast<uint32_t>(std::min<double>(t->length - t->filled, allowed - consumed));
    Record(slot, t->buffer + t->filled, n);
    uint64_t gap = 0;
    if (missedBytes_ >= bytesPerSample) {
      gap = static_cast<uint64_t>(missedBytes_ / bytesPerSample);
      breakCounter_.fetch_add(1);
    }
    missedBytes_ = 0;
    Drive(t->buffer + t->filled, n, gap);
    played_ = true;
    t->filled += n;
    consumed += n;
    if (t->filled < t->length) break;
    queue.pop_front();
    t->Complete(TransferStatus::Completed, t->length);
  }
  outputBudget_ -= consumed;
  if (settings.bandwidthBytesPerSecond > 0) outputBusBudget_ -= consumed;
  // The waveform starts with the first data: no time is owed before it.
  if (!played_) outputBudget_ = 0;
  if (outputBudget_ >= bytesPerSample) {
    // Wanted and not there: time the lines only hold (not made up later).
    if (played_) missedBytes_ += std::floor(outputBudget_);
    outputBudget_ -= std::floor(outputBudget_);
  }
}

void SimFx2::Drive(const uint8_t* bytes, uint32_t count, uint64_t gap) {
  if (!pod_ || count == 0) return;
  LineRecord& lines = pod_->Outputs();
  // The 8-bit generator drives channels 0-7; 8-15 keep their level.
  const bool sixteen = program_ == Program::Generator16;
  uint16_t level = lines.Level();
  driven_.clear();
  uint32_t i = 0;
  if (sixteen && pendingByte_) {
    driven_.push_back(ChannelValue(*pendingByte_, bytes[0]));
    pendingByte_.reset();
    i = 1;
  }
  if (sixteen) {
    for (; i + 1 < count; i += 2) driven_.push_back(ChannelValue(bytes[i], bytes[i + 1]));
    if (i < count) pendingByte_ = bytes[i];
  } else {
    for (; i < count; ++i) {
      level = static_cast<uint16_t>((level & 0xFF00) | (ChannelValue(bytes[i], 0) & 0xFF));
      driven_.push_back(level);
    }
  }
  lines.Played(driven_.data(), driven_.size(), gap);
}

void SimFx2::SyncSampleClock() {
  const SampleClock clock = pod_->ClockNow();
  if (!clock.running) {
    stream_.on = false;
    return;
  }
  // Already following this run of the clock, or stopped within it.
  if (clock.generation == stream_.generation) return;
  const StreamFormat format = FormatOf(program_);
  stream_ = Stream{};
  stream_.on = true;
  stream_.generation = clock.generation;
  stream_.bytes = pod_->StreamFor(format);
  stream_.start = clock.start;
  stream_.bytesPerSecond = clock.samplesPerSecond * BytesPerSample(format);
  stream_.budgetTime = Clock::now();
}

void SimFx2::ServiceSamples(Clock::time_point now) {
  auto& queue = pending_[kSampleSlot];
  if (program_ == Program::Mode) {
    while (!queue.empty() && replyAt_ < reply_.size()) {
      TransferContext* t = queue.front();
      queue.pop_front();
      const auto n = static_cast<uint32_t>(std::min<size_t>(t->length, reply_.size() - replyAt_));
      std::memcpy(t->buffer, reply_.data() + replyAt_, n);
      replyAt_ += n;
      t->Complete(TransferStatus::Completed, n);
    }
    return;
  }
  if (!Streams(program_)) return;
  SyncSampleClock();
  if (!stream_.on) return;
  const PodSettings settings = pod_->Settings();
  Stream& s = stream_;
  if (!settings.realTime) {
    for (TransferContext* t : queue) {
      const uint32_t end = TransferEnd(t);
      s.bytes->Copy(t->buffer + t->filled, s.readPosition, end - t->filled);
      s.readPosition += end - t->filled;
      t->filled = end;
      EndTransfer(t);
    }
    queue.clear();
    return;
  }
  // The converters run on the wall clock; what finds no room in the host's
  // requests waits in the FIFO, and what overflows the FIFO is lost.
  const uint32_t bps = s.bytes->BytesPerSample();
  const double elapsed = std::chrono::duration<double>(now - s.start).count();
  const uint64_t target = elapsed > 0 ? static_cast<uint64_t>(elapsed * s.bytesPerSecond / bps) * bps : 0;
  uint64_t available = s.fifoFill;
  if (target > s.sampledBytes) {
    available += target - s.sampledBytes;
    s.sampledBytes = target;
  }
  uint64_t deliverable = available;
  if (settings.bandwidthBytesPerSecond > 0) {
    s.budget += std::chrono::duration<double>(now - s.budgetTime).count() * settings.bandwidthBytesPerSecond;
    s.budgetTime = now;
    deliverable = std::min<uint64_t>(deliverable, static_cast<uint64_t>(s.budget));
  }
  while (!queue.empty() && deliverable > 0) {
    TransferContext* t = queue.front();
    const uint32_t end = TransferEnd(t);
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(end - t->filled, deliverable));
    s.bytes->Copy(t->buffer + t->filled, s.readPosition, n);
    t->filled += n;
    s.readPosition += n;
    deliverable -= n;
    available -= n;
    if (settings.bandwidthBytesPerSecond > 0) s.budget -= n;
    if (t->filled < end) break;
    queue.pop_front();
    EndTransfer(t);
  }
  if (settings.bandwidthBytesPerSecond > 0) {
    // Unused bus time is not saved up.
    s.budget = std::min(s.budget, settings.bandwidthBytesPerSecond * 0.002);
  }
  if (available > kFifoBytes) {
    s.readPosition += available - kFifoBytes;
    available = kFifoBytes;
    breakCounter_.fetch_add(1);
  }
  s.fifoFill = static_cast<uint32_t>(available);
}

uint32_t SimFx2::TransferEnd(TransferContext* t) {
  if (shortBytes_ && (shortTarget_ == t || (!shortTarget_ && t->filled == 0))) {
    shortTarget_ = t;
    return std::min(shortBytes_, t->length);
  }
  return t->length;
}

void SimFx2::EndTransfer(TransferContext* t) {
  if (t == shortTarget_) {
    shortTarget_ = nullptr;
    shortBytes_ = 0;
  }
  t->Complete(TransferStatus::Completed, t->filled);
}

void SimFx2::ShortTransfer(uint32_t bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  shortBytes_ = bytes;
  shortTarget_ = nullptr;
}

// ---- Pump ----

bool SimFx2::NeedsTicks() const {
  return (stream_.on || generating_ || (Streams(program_) && pod_->ClockNow().running)) && pod_->Settings().realTime;
}

void SimFx2::EnsurePump() {
  if (pump_.joinable() || quit_) return;
  pump_ = std::thread(&SimFx2::PumpLoop, this);
  // The pump is the pod's hardware clock: a tick that comes late (the machine
  // busy with other work) would look like an underrun or an overflow of the
  // pod. It runs time-critical where the system allows it, as the host's
  // transfer threads do.
  platform::SetTimeCritical(pump_);
}

void SimFx2::PumpLoop() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!quit_) {
    if (!unplugged_) Service(Clock::now());
    wake_.wait_for(hold, NeedsTicks() ? std::chrono::milliseconds(1) : std::chrono::milliseconds(50));
  }
}

void SimFx2::Wake() {
  // Taking the lock first means the pump is either waiting or has yet to look
  // at the clock, so the wake cannot fall between its look and its wait.
  { std::lock_guard<std::mutex> hold(lock_); }
  wake_.notify_all();
}

void SimFx2::Shutdown() {
  if (platform::ProcessEnding()) {
    if (pump_.joinable()) pump_.detach();
    return;
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
  }
  wake_.notify_all();
  if (pump_.joinable() && pump_.get_id() != std::this_thread::get_id()) pump_.join();
}

// ---- Read-back ----

void SimFx2::SetProgram(Program program, const std::string& name) {
  std::lock_guard<std::mutex> readBack(readBackLock_);
  program_ = program;
  programName_ = name;
}

// Each OUT endpoint keeps the newest kOutputKeep bytes in a ring, so that a
// generator run at full rate costs a copy per byte and never a reallocation
// or a move of what is kept (the ring's pages are touched as it fills).
void SimFx2::Record(int slot, const uint8_t* bytes, uint32_t length) {
  std::lock_guard<std::mutex> readBack(readBackLock_);
  OutputLog& log = outputs_[slot];
  if (!log.bytes) log.bytes.reset(new uint8_t[kOutputKeep]);
  if (length >= kOutputKeep) {
    bytes += length - kOutputKeep;
    length = static_cast<uint32_t>(kOutputKeep);
  }
  for (uint32_t done = 0; done < length;) {
    const size_t tail = (log.head + log.kept) % kOutputKeep;
    const auto n = static_cast<uint32_t>(std::min<size_t>(length - done, kOutputKeep - tail));
    std::memcpy(log.bytes.get() + tail, bytes + done, n);
    done += n;
    log.kept += n;
    if (log.kept > kOutputKeep) {
      log.head = (log.head + log.kept - kOutputKeep) % kOutputKeep;
      log.kept = kOutputKeep;
    }
  }
}

uint32_t SimFx2::ReadOutput(uint8_t endpoint, uint8_t* buffer, uint32_t length) {
  std::lock_guard<std::mutex> hold(readBackLock_);
  const int slot = EndpointSlot(endpoint);
  if (slot < 0 || (endpoint & 0x80)) return 0;
  OutputLog& log = outputs_[static_cast<size_t>(slot)];
  if (!buffer) return static_cast<uint32_t>(std::min<size_t>(log.kept, UINT32_MAX));
  const auto n = static_cast<uint32_t>(std::min<size_t>(log.kept, length));
  for (uint32_t done = 0; done < n;) {
    const auto piece = static_cast<uint32_t>(std::min<size_t>(n - done, kOutputKeep - log.head));
    std::memcpy(buffer + done, log.bytes.get() + log.head, piece);
    done += piece;
    log.head = (log.head + piece) % kOutputKeep;
  }
  log.kept -= n;
  return n;
}

std::vector<ControlRecord> SimFx2::ControlLog() {
  std::lock_guard<std::mutex> hold(readBackLock_);
  return controlLog_;
}

Program SimFx2::RunningProgram() {
  std::lock_guard<std::mutex> hold(readBackLock_);
  return program_;
}

std::string SimFx2::ProgramName() {
  std::lock_guard<std::mutex> hold(readBackLock_);
  return programName_;
}

uint8_t SimFx2::BreakCounter() { return breakCounter_.load(); }

}  // namespace tqla::sim
