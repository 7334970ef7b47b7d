#include "sim/sim_pod.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "device/pod_ids.h"

namespace tqla::sim {
namespace {

void PutLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

SimPod::SimPod(uint32_t podId)
    : podId_(podId),
      base_(MakeGenerated(Generator::DemoBus)),
      source_(base_),
      eeprom_(kEepromBytes, 0xFF),
      digital_(this, true, PodVendorId, PodProductId, static_cast<uint16_t>(podId)),
      analog_(this, false, PodVendorId, PodProductId, static_cast<uint16_t>(podId)) {
  // Calibration constants with 24 fraction bits that leave the converter
  // bytes as they are: gain 0.078125 V per step, offset 128.
  constexpr uint32_t kGain = 1310720;
  constexpr uint32_t kOffset = 128u << 24;
  PutLe32(eeprom_, 96, kGain);
  PutLe32(eeprom_, 100, kGain);
  PutLe32(eeprom_, 104, kOffset);
  PutLe32(eeprom_, 108, kOffset);
}

PodSettings SimPod::Settings() {
  std::lock_guard<std::mutex> hold(lock_);
  return settings_;
}

void SimPod::SetSource(std::shared_ptr<const SignalSource> source) {
  std::lock_guard<std::mutex> hold(lock_);
  base_ = source_ = std::move(source);
  streams_.clear();
}

void SimPod::WireInputs(std::shared_ptr<SimPod> from) {
  std::shared_ptr<LineRecord> lines = from ? from->outputs_ : nullptr;
  if (lines) lines->SetWired(true);
  std::lock_guard<std::mutex> hold(lock_);
  inputs_ = std::move(lines);
  source_ = base_;
  streams_.clear();
}

void SimPod::PrepareInputs(double samplesPerSecond) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!inputs_) return;
  constexpr uint32_t kLeadIn = 65536;
  const LineRecord::Run run = inputs_->LastRun();
  const double step = run.rate > 0 && samplesPerSecond > 0 ? run.rate / samplesPerSecond : 1.0;
  const auto played = run.samples.empty() ? 0 : static_cast<uint64_t>(std::ceil(run.samples.size() / step));
  auto replay = std::make_shared<SignalSource>();
  replay->loop = false;
  replay->words.resize(kLeadIn + played + 1);
  const std::vector<uint32_t>& scope = base_->words;
  auto word = [&](size_t k, uint16_t level) {
    return (scope.empty() ? 0x80800000u : scope[k % scope.size()] & 0xFFFF0000u) | level;
  };
  for (size_t k = 0; k < kLeadIn; ++k) replay->words[k] = word(k, run.before);
  for (uint64_t k = 0; k < played; ++k) {
    const auto g = std::min<uint64_t>(static_cast<uint64_t>(k * step), run.samples.size() - 1);
    replay->words[kLeadIn + k] = word(kLeadIn + k, run.samples[g]);
  }
  replay->words.back() = word(kLeadIn + played, run.level);
  source_ = std::move(replay);
  streams_.clear();
}

void LineRecord::BeginRun(double rate) {
  std::lock_guard<std::mutex> hold(lock_);
  run_.before = run_.level;
  run_.rate = rate;
  run_.samples.clear();
}

void LineRecord::Played(const uint16_t* samples, size_t count, uint64_t gap) {
  if (count == 0) return;
  std::lock_guard<std::mutex> hold(lock_);
  if (wired_) {
    std::vector<uint16_t>& kept = run_.samples;
    const size_t holds = static_cast<size_t>(std::min<uint64_t>(gap, kLimit - std::min(kLimit, kept.size())));
    kept.insert(kept.end(), holds, run_.level);
    kept.insert(kept.end(), samples, samples + std::min(count, kLimit - std::min(kLimit, kept.size())));
  }
  run_.level = samples[count - 1];
}

void LineRecord::SetLevel(uint16_t level) {
  std::lock_guard<std::mutex> hold(lock_);
  run_.level = level;
}

uint16_t LineRecord::Level() {
  std::lock_guard<std::mutex> hold(lock_);
  return run_.level;
}

void LineRecord::SetWired(bool wired) {
  std::lock_guard<std::mutex> hold(lock_);
  wired_ = wired;
}

LineRecord::Run LineRecord::LastRun() {
  std::lock_guard<std::mutex> hold(lock_);
  return run_;
}

bool SimPod::ControlAllowed() {
  std::lock_guard<std::mutex> hold(lock_);
  if (settings_.controlPassCount < 0) return true;
  if (settings_.controlPassCount > 0) {
    --settings_.controlPassCount;
    return true;
  }
  if (settings_.controlFailCount > 0 && --settings_.controlFailCount > 0) return false;
  settings_.controlPassCount = -1;
  return false;
}

bool SimPod::ReadEeprom(uint32_t address, uint8_t* data, uint32_t length) {
  std::lock_guard<std::mutex> hold(lock_);
  if (static_cast<uint64_t>(address) + length > eeprom_.size()) return false;
  if (length) std::memcpy(data, eeprom_.data() + address, length);
  return true;
}

bool SimPod::WriteEeprom(uint32_t address, const uint8_t* data, uint32_t length) {
  std::lock_guard<std::mutex> hold(lock_);
  if (static_cast<uint64_t>(address) + length > eeprom_.size()) return false;
  if (length) std::memcpy(eeprom_.data() + address, data, length);
  return true;
}

std::shared_ptr<const ByteStream> SimPod::StreamFor(StreamFormat format) {
  std::lock_guard<std::mutex> hold(lock_);
  for (auto& [f, stream] : streams_) {
    if (f == format) return stream;
  }
  auto stream = std::make_shared<const ByteStream>(*source_, format);
  streams_.emplace_back(format, stream);
  return stream;
}

uint32_t SimPod::SourceWord(uint64_t position) {
  std::lock_guard<std::mutex> hold(lock_);
  if (inputs_) {
    const std::vector<uint32_t>& scope = base_->words;
    return (scope.empty() ? 0x80800000u : scope[position % scope.size()] & 0xFFFF0000u) | inputs_->Level();
  }
  const std::vector<uint32_t>& words = source_->words;
  if (words.empty()) return 0x80800000u;
  if (source_->loop) return words[position % words.size()];
  return words[std::min<uint64_t>(position, words.size() - 1)];
}

void SimPod::StartClock(double samplesPerSecond) {
  std::lock_guard<std::mutex> hold(lock_);
  clock_.running = true;
  ++clock_.generation;
  clock_.start = Clock::now();
  clock_.samplesPerSecond = samplesPerSecond;
}

void SimPod::StopClock() {
  std::lock_guard<std::mutex> hold(lock_);
  clock_.running = false;
}

SampleClock SimPod::ClockNow() {
  std::lock_guard<std::mutex> hold(lock_);
  return clock_;
}

}  // namespace tqla::sim
