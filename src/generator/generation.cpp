// Generation runs: a pattern in the host's array played out of the pod's
// digital lines at a rate, once or in a loop, by an output thread that keeps
// the Digital FX2's 32 requests of 64 KiB full on endpoint 0x02; the pod gets
// its timing (a waveform descriptor) once the thread has its requests queued.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "capture/capture_run.h"
#include "capture/capture_state.h"
#include "device/device_state.h"
#include "device/pod_firmware.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"
#include "generator/generator_state.h"

namespace tqla::generator {

GenerationState generation;

namespace {

constexpr uint32_t kBlockBytes = 65536;
constexpr uint8_t kPatternEndpoint = 0x02;
constexpr uint32_t kOutWaitMs = 500;
// A pod that confirms no block at all within this time never got its timing.
constexpr auto kFirstBlockWait = std::chrono::milliseconds(5000);
constexpr uint32_t kDescriptorBytes = 32;

// Waveform descriptors of the FX2's programmable interface, by mode & 127:
// lengths or branches of states 0-7; opcodes; outputs; logic functions. Sets
// differ in the first row (24 MHz or the others) and in the outputs (mode bit
// 7: e3/e0/e2, else e1/e2/e0).
constexpr uint8_t kLengths24[5][8] = {{0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x3d, 0x07},
                                      {0x2a, 0x01, 0x13, 0x2b, 0x01, 0x01, 0x3d, 0x07},
                                      {0x2a, 0x01, 0x1a, 0x1d, 0x01, 0x01, 0x3d, 0x07},
                                      {0x2a, 0x01, 0x2a, 0x01, 0x01, 0x01, 0x3d, 0x07},
                                      {0x2a, 0x01, 0x15, 0x01, 0x01, 0x01, 0x3d, 0x07}};
constexpr uint8_t kLengthsOther[5][8] = {{0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x3c, 0x07},
                                         {0x22, 0x01, 0x13, 0x23, 0x01, 0x01, 0x3c, 0x07},
                                         {0x22, 0x01, 0x1a, 0x1c, 0x01, 0x01, 0x3c, 0x07},
                                         {0x22, 0x01, 0x22, 0x01, 0x01, 0x01, 0x3c, 0x07},
                                         {0x22, 0x01, 0x14, 0x01, 0x01, 0x01, 0x3c, 0x07}};
constexpr uint8_t kOpcodes[5][8] = {{0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x07, 0x00},
                                    {0x03, 0x02, 0x03, 0x03, 0x02, 0x02, 0x07, 0x00},
                                    {0x03, 0x02, 0x03, 0x03, 0x02, 0x02, 0x07, 0x00},
                                    {0x03, 0x02, 0x03, 0x02, 0x02, 0x02, 0x07, 0x00},
                                    {0x03, 0x02, 0x03, 0x02, 0x02, 0x02, 0x07, 0x00}};
constexpr uint8_t kOutputsBit7[8] = {0xe3, 0xe3, 0xe3, 0xe3, 0xe3, 0xe0, 0xe2, 0xe3};
constexpr uint8_t kOutputs[8] = {0xe1, 0xe1, 0xe1, 0xe1, 0xe1, 0xe2, 0xe0, 0xe1};
constexpr uint8_t kLogic[8] = {0x3f, 0x47, 0x00, 0x00, 0x00, 0x00, 0x36, 0x3f};

// Bytes 4 and 5 of the descriptor for the rates below 24 MHz; false for a code
// outside the table.
bool RatePair(uint32_t rate, uint8_t& byte4, uint8_t& byte5) {
  static constexpr struct {
    uint32_t code;
    uint8_t byte4, byte5;
  } kPairs[] = {{17, 23, 24}, {27, 11, 12}, {37, 7, 8}, {47, 5, 6}, {67, 3, 4},
                {87, 2, 3},   {127, 1, 2},  {167, 1, 1}, {247, 0, 0}};
  for (const auto& p : kPairs) {
    if (p.code == rate) {
      byte4 = p.byte4;
      byte5 = p.byte5;
      return true;
    }
  }
  return false;
}

}  // namespace

bool WaveformDescriptor(uint32_t rate, uint8_t mode, uint8_t* descriptor) {
  uint8_t byte4 = 0, byte5 = 0;
  const uint32_t index = mode & 127u;
  if (index > 4 || !RatePair(rate, byte4, byte5)) return false;
  std::memcpy(descriptor, rate == 247 ? kLengths24[index] : kLengthsOther[index], 8);
  std::memcpy(descriptor + 8, kOpcodes[index], 8);
  std::memcpy(descriptor + 16, (mode & 128u) ? kOutputsBit7 : kOutputs, 8);
  std::memcpy(descriptor + 24, kLogic, 8);
  if (rate != 247) {
    descriptor[4] = byte4;
    descriptor[5] = byte5;
  }
  return true;
}

namespace {

uint32_t WordsPerBlock(const GenerationState& g) { return kBlockBytes / BytesPerWord(g.layout, g.OutputWidth); }

// The next block of a slot: pattern words from the read position, the loop
// going on from the start without a seam (the counts start over there), and
// the idle word once a pattern played once is used up.
void FillNext(uint8_t* slot) {
  GenerationState& g = generation;
  CaptureState& c = captureState;
  if (!c.Running.load()) return;
  const uint32_t bytesPerWord = BytesPerWord(g.layout, g.OutputWidth);
  uint32_t remaining = kBlockBytes / bytesPerWord;
  if (g.layout == Layout::Packed) {
    Trace("FillNextSG Samples:%d  BigBufferLength=%ld", static_cast<int>(2 * remaining),
          static_cast<long>(g.patternWords));
  } else {
    Trace("FillNext Samples:%d", static_cast<int>(remaining));
  }
  uint8_t* out = slot;
  while (remaining > 0) {
    if (g.ReadPosition < g.patternWords) {
      const uint32_t k = std::min(remaining, g.patternWords - g.ReadPosition);
      ConvertWords(g.tables, g.layout, g.OutputWidth, g.pattern + g.ReadPosition, k, out);
      out += static_cast<size_t>(k) * bytesPerWord;
      remaining -= k;
      g.ReadPosition += k;
    } else if (g.Loop) {
      Trace("Loop at Dptr:%ld", static_cast<long>(g.ReadPosition));
      g.ReadPosition = 0;
      c.PostStoreCount.store(g.patternWords);
      c.PostStoreTotal.store(g.patternWords);
    } else {
      std::memcpy(out, g.idleBlock, static_cast<size_t>(remaining) * bytesPerWord);
      remaining = 0;
    }
  }
}

// The output thread of every start: plain or packed conversion as its slot
// comes round, or (queue only) the slots resent as they stand.
void OutputThread(CCyUSBDevice* device) {
  GenerationState& g = generation;
  CaptureState& c = captureState;
  TransferQueue& q = digitalQueue;
  CCyUSBEndPoint* ep = device ? device->FindEndpoint(kPatternEndpoint) : nullptr;
  if (!ep) {
    FailRun("Digital FX2 has no endpoint 0x02; generation ended");
    c.BothStopped.store(1);
    return;
  }
  ep->SetTransferSize(kBlockBytes);
  TraceText(g.layout == Layout::Packed ? "Starting OutStreamProcSG" : "Beginning Transfer");
  const bool queueOnly = g.feed == Feed::QueueOnly;
  const uint32_t blockWords = queueOnly ? kBlockBytes : WordsPerBlock(g);
  for (int i = 0; i < kQueueSlots; ++i) {
    if (!queueOnly) FillNext(q.Buffers[i]);
    QueueSlot(ep, q, i);
  }
  FailureWatch watch(ep, "Digital");
  const auto began = std::chrono::steady_clock::now();
  // Requests cancelled by our own abort come back empty; they are no failure.
  int cancelled = 0;
  int last = kQueueSlots - 1;
  bool ended = false;
  while (!ended && c.Running.load()) {
    for (int i = 0; i < kQueueSlots; ++i) {
      bool confirmed = false;
      for (;;) {
        if (ep->WaitTransfer(&q.Events[i], kOutWaitMs)) {
          confirmed = true;
          break;
        }
        if (c.Triggered.load() || !c.Running.load()) break;
        if (std::chrono::steady_clock::now() - began > kFirstBlockWait) {
          FailRun("The pod took no pattern data; generation ended");
          break;
        }
      }
      if (!confirmed) {
        AbortAndWait(ep, q, i);
        cancelled = kQueueSlots;
      }
      int32_t length = 0;
      const bool ok = FinishSlot(ep, q, i, length);
      last = i;
      if (confirmed && ok && length == static_cast<int32_t>(kBlockBytes)) {
        watch.Good();
        c.Triggered.store(1);
        const uint32_t count = c.PostStoreCount.load();
        const uint32_t left = count > blockWords ? count - blockWords : 0;
        c.PostStoreCount.store(left);
        if (left == 0 && !g.Loop) {
          c.Running.store(0);
          ended = true;
          break;
        }
      } else if (length > 0) {
        Trace("Pattern block sent in part (%d of 65536 bytes); the rest is lost", static_cast<int>(length));
      } else if (cancelled > 0) {
        --cancelled;
      } else {
        watch.Failed();
      }
      if (!c.Running.load()) {
        ended = true;
        break;
      }
      if (!queueOnly) FillNext(q.Buffers[i]);
      QueueSlot(ep, q, i);
    }
  }
  DrainQueue(ep, q, last, queueOnly ? 100 : 1);
  c.BothStopped.store(1);
}

struct RunRequest {
  const char* name;
  Layout layout;
  Feed feed;
  std::optional<uint32_t> width;  // none: StartVariableLoopGenerate keeps it
  uint32_t rate;
  uint8_t mode;
  uint32_t* pattern;
  uint32_t words;
  uint8_t loop;
  bool idleFromThirdLast;  // StartGenerate
  const char* startText;   // the packed and loop variants trace their steps
};

int32_t StartRun(const RunRequest& r) {
  GenerationState& g = generation;
  CaptureState& c = captureState;
  uint8_t descriptor[kDescriptorBytes];
  if (!WaveformDescriptor(r.rate, r.mode, descriptor)) {
    Fail("%s: rate code %u or mode %u has no waveform (rate codes 17-247 of the table, modes 0-4 and 128-132)",
         r.name, r.rate, static_cast<unsigned>(r.mode));
    return 0;
  }
  if (!r.pattern || r.words == 0) {
    Fail("%s: no pattern (null or empty)", r.name);
    return 0;
  }
  const int64_t allocated = LibraryWordsFrom(r.pattern);
  if (allocated >= 0 && r.words > allocated) {
    Fail("%s: pattern of %u words is past the end of its buffer", r.name, r.words);
    return 0;
  }
  CCyUSBDevice* digital = deviceState.USBDeviceDigital;
  CCyUSBDevice* analog = deviceState.USBDeviceAnalog;
  if (!PodIsOpen(r.name) || !EndRun()) return 0;
  runDevices = RunDevices{digital, analog, true, false};

  const uint32_t width = r.width ? (*r.width == 8 ? 8u : 16u) : g.OutputWidth;
  if (r.startText) TraceText(r.startText);
  const int32_t downloaded =
      LoadImage(digital, width == 8 || !r.width ? firmware::Image::Generator8Image : firmware::Image::Generator16Image);
  if (r.width) {
    g.OutputWidth = width;
    if (r.startText) TraceText(width == 8 ? "Download 8-bit done" : "Download 16-bit done");
    digital->SelectAltSetting(1);
    analog->SelectAltSetting(0);
  }
  c.StreamFirmware.store(0);
  if (downloaded == 0) return 0;
  if (!WaitForReadyByte()) {
    c.Running.store(0);
    return 0;
  }
  TraceText("Got Hello Response");

  c.BufferStart.store(0);
  c.BufferEnd.store(0);
  c.Triggered.store(0);
  c.BreakCount.store(0);
  g.Loop = r.loop;
  g.layout = r.layout;
  g.feed = r.feed;
  g.pattern = r.pattern;
  g.patternWords = r.words;
  g.ReadPosition = 0;
  SetCurrentBuffer(r.pattern, r.words, r.words);
  sampleBuffer.CapturedLength.store(r.words);
  c.PostStoreCount.store(r.words);
  c.PostStoreTotal.store(r.words);
  if (r.feed == Feed::QueueOnly) ChangeBufferLength(r.words);

  // Once a pattern played once is used up the pod gets the idle word; for
  // StartGenerate the third-last word, which also becomes the last two.
  if (r.idleFromThirdLast && r.words >= 3) {
    r.pattern[r.words - 2] = r.pattern[r.words - 1] = r.pattern[r.words - 3];
    g.IdleWord = r.pattern[r.words - 3];
  } else {
    g.IdleWord = r.pattern[r.words - 1];
  }
  BuildPinTables(g.tables);
  const uint32_t bytesPerWord = BytesPerWord(g.layout, g.OutputWidth);
  ConvertWords(g.tables, g.layout, g.OutputWidth, &g.IdleWord, 1, g.idleBlock);
  for (uint32_t at = bytesPerWord; at < kBlockBytes; at += bytesPerWord) std::memcpy(g.idleBlock + at, g.idleBlock, bytesPerWord);

  if (r.feed == Feed::QueueOnly) {
    // The slots hold the pattern's first 2 MiB as 8-bit samples (repeated
    // when shorter) and go out as they stand.
    uint32_t at = 0;
    for (auto& slot : digitalQueue.Buffers) {
      for (uint8_t& byte : slot) {
        byte = g.tables.pins8[r.pattern[at] & 0xFF];
        at = at + 1 == r.words ? 0 : at + 1;
      }
    }
  }

  c.Running.store(1);
  c.BothStopped.store(0);
  Trace("Set Generate Priority Return Value = %d", StartRunThread(OutputThread, digital, true));
  uint8_t command[1 + kDescriptorBytes] = {1};
  std::memcpy(command + 1, descriptor, kDescriptorBytes);
  SendCommandBytes(command, sizeof command);
  if (r.startText) TraceText("Sent Generate Command");
  return 1;
}

}  // namespace
}  // namespace tqla::generator

using namespace tqla;
using namespace tqla::generator;

extern "C" {

int32_t TQLA_API StartGenerate(uint32_t width, uint32_t rate, uint8_t mode, uint32_t* pattern, uint32_t length) {
  return Guarded<int32_t>("StartGenerate", 0, [&] {
    return StartRun({"StartGenerate", Layout::Plain, Feed::Pattern, width, rate, mode, pattern, length, 0, true, nullptr});
  });
}

int32_t TQLA_API StartGenerateSG(uint32_t width, uint32_t rate, uint8_t mode, uint32_t* pattern, uint32_t length) {
  return Guarded<int32_t>("StartGenerateSG", 0, [&] {
    return StartRun(
        {"StartGenerateSG", Layout::Packed, Feed::Pattern, width, rate, mode, pattern, length / 2, 0, false,
         "Start Generate"});
  });
}

int32_t TQLA_API StartLoopGenerate(uint32_t width, uint32_t rate, uint8_t mode, uint32_t* pattern, uint32_t length,
                                   uint8_t loop) {
  return Guarded<int32_t>("StartLoopGenerate", 0, [&] {
    return StartRun(
        {"StartLoopGenerate", Layout::Plain, Feed::Pattern, width, rate, mode, pattern, length, loop, false,
         "Start Generate"});
  });
}

int32_t TQLA_API StartLoopGenerateSG(uint32_t width, uint32_t rate, uint8_t mode, uint32_t* pattern,
                                     uint32_t length, uint8_t loop) {
  return Guarded<int32_t>("StartLoopGenerateSG", 0, [&] {
    return StartRun({"StartLoopGenerateSG", Layout::Packed, Feed::Pattern, width, rate, mode, pattern, length / 2,
                     loop, false, "Start Generate SG"});
  });
}

int32_t TQLA_API StartVariableLoopGenerate(uint32_t rate, uint8_t mode, uint32_t* pattern, uint32_t length,
                                           uint8_t loop) {
  return Guarded<int32_t>("StartVariableLoopGenerate", 0, [&] {
    return StartRun({"StartVariableLoopGenerate", Layout::Plain, Feed::QueueOnly, std::nullopt, rate, mode, pattern,
                     length, loop, false, nullptr});
  });
}

int32_t TQLA_API GenerateStatus(char* podStatus, char* running, char* started, char* percent) {
  return Guarded<int32_t>("GenerateStatus", 0, [&] {
    const CaptureState& c = captureState;
    uint8_t status = 0;
    if (!ReadBreakCounter(deviceState.USBDeviceDigital, status)) FailText("GenerateStatus: the pod's status was not read");
    if (podStatus) *podStatus = static_cast<char>(status);
    if (running) *running = static_cast<char>(c.Running.load());
    const uint8_t isStarted = c.Triggered.load();
    if (started) *started = static_cast<char>(isStarted);
    if (percent) {
      const uint64_t total = c.PostStoreTotal.load();
      const uint64_t count = c.PostStoreCount.load();
      *percent = static_cast<char>(isStarted && total ? (total - std::min(count, total)) * 100 / total : 0);
    }
    return static_cast<int32_t>(status);
  });
}

int32_t TQLA_API StopGenerate(void) {
  return Guarded<int32_t>("StopGenerate", 0, [] {
    captureState.Running.store(0);
    return WaitBothStopped() ? 1 : 0;
  });
}

}  // extern "C"
