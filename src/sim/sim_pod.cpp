#include "sim/sim_pod.h"

#include <algorithm>
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
      source_(MakeGenerated(Generator::DemoBus)),
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
  source_ = std::move(source);
  streams_.clear();
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
