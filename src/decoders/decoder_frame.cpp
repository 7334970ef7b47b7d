#include "decoders/decoder_frame.h"

#include "decoders/fixed_text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "frame/console.h"
#include "frame/sample_buffer.h"
#include "packets/packets_state.h"
#include "tqla/tqla.h"

namespace tqla::decoders {

namespace {

WalkMode walkMode = WalkMode::kChanges;

void CopyText(char* destination, const char* text) {
  if (destination) std::snprintf(destination, kErrorTextSize, "%s", text);
}

void WriteRecordTextV(FILE* file, const char* format, va_list args) {
  char text[kRecordTextSize];
  if (std::vsnprintf(text, sizeof text, format, args) < 0) return;
  const size_t length = std::strlen(text);
  // Every newline goes out as CR LF, the two bytes RecordOffset counts for it.
  uint32_t newlines = 0;
  const char* piece = text;
  for (const char* p; (p = static_cast<const char*>(std::memchr(piece, '\n', text + length - piece))); piece = p + 1) {
    std::fwrite(piece, 1, static_cast<size_t>(p - piece), file);
    std::fwrite("\r\n", 1, 2, file);
    ++newlines;
  }
  std::fwrite(piece, 1, static_cast<size_t>(text + length - piece), file);
  packets::streamPosition.RecordOffset += static_cast<uint32_t>(length) + newlines;
}

}  // namespace

uint32_t SampleRateOfCode(int32_t rateCode) {
  switch (rateCode) {
    case 247: return 24000000;
    case 167: return 16000000;
    case 127: return 12000000;
    case 87: return 8000000;
    case 67: return 6000000;
    case 47: return 4000000;
    case 37: return 3000000;
    case 27: return 2000000;
    case 17: return 1000000;
    default: return 0;
  }
}

void WriteRecordText(FILE* file, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteRecordTextV(file, format, args);
  va_end(args);
}

void ResetRecordOffset() { packets::streamPosition.RecordOffset = 0; }

const char* FormatTimestamp(uint32_t sampleIndex, uint32_t sampleRate) {
  static char text[64];
  NoteRecordStart(sampleIndex);
  DecoderState& s = decoderState;
  double seconds;
  if (!s.TimestampRelative) {
    const int64_t trigger = sampleBuffer.TriggerIndex.load(std::memory_order_relaxed);
    seconds = static_cast<double>(static_cast<int64_t>(sampleIndex) - trigger) / sampleRate;
  } else {
    if (s.TimestampFirst) {
      seconds = 0.0;
      s.TimestampFirst = 0;
    } else {
      seconds = static_cast<double>(static_cast<int64_t>(sampleIndex) - s.LastTimestampSample) / sampleRate;
    }
    s.LastTimestampSample = sampleIndex;
  }
  // "%5.1fns," and its siblings, "+" before them in relative mode.
  static constexpr struct {
    double below, scale;
    int width, precision;
    const char* unit;
  } kUnits[] = {{1e-6, 1e9, 5, 1, "ns,"}, {0.001, 1e6, 5, 1, "us,"}, {1.0, 1000, 8, 4, "ms,"}, {0, 1, 11, 7, "s ,"}};
  const double size = std::fabs(seconds);
  int unit = 0;
  while (unit < 3 && !(size < kUnits[unit].below)) ++unit;
  char* at = text;
  if (s.TimestampRelative) *at++ = '+';
  at += FormatFixed(at, sizeof text - 8, seconds * kUnits[unit].scale, kUnits[unit].width, kUnits[unit].precision);
  std::memcpy(at, kUnits[unit].unit, 4);
  return text;
}

void SetWalkMode(WalkMode mode) { walkMode = mode; }
WalkMode CurrentWalkMode() { return walkMode; }

DecoderRun::~DecoderRun() {
  text_.Release();
  if (file_) std::fclose(file_);
  if (feeding_) CloseRedodoRovodovoz();
}

void DecoderRun::Fail(const char* format, ...) {
  char text[kErrorTextSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (errorText_) std::memcpy(errorText_, text, sizeof text);
  FailText(text);
}

bool DecoderRun::Begin(const RunArgs& args, bool publish) {
  errorText_ = args.errorText;
  recordSink.header = recordSink.first = recordSink.reached = 0;
  if (!args.samples) {
    Fail("No sample words to decode");
    return false;
  }
  rate_ = SampleRateOfCode(args.rateCode);
  if (rate_ == 0) {
    Fail("Unknown sample rate code %d", args.rateCode);
    return false;
  }

  int64_t start = args.start;
  int64_t end = args.end;
  if (end < start) std::swap(start, end);
  if (start < 0) start = 1;
  const uint32_t length = sampleBuffer.BufferLength;
  if (end >= length) end = static_cast<int64_t>(length) - 2;
  readable_ = ReadableWords(args.samples, length);
  end = std::min<int64_t>(end, readable_);
  if (end < start) end = start;
  words_ = args.samples;
  start_ = static_cast<uint32_t>(start);
  end_ = static_cast<uint32_t>(end);
  stopIndex_ = start_;

  if (args.protocolFile && args.protocolFile[0] != '\0') {
    char local[kErrorTextSize] = {};
    if (!InitializeRedodoRovodovoz(const_cast<char*>(args.protocolFile), const_cast<char*>(args.packetFile),
                                   local)) {
      ConsolePrint("Error initializing RedodoRovodovoz: %s\nExiting.\n", local);
      CopyText(errorText_, local);
      return false;
    }
    feeding_ = true;
    // Signal conditions of the seven slots, START before END; channel 0 and
    // channels past the sample word never fire.
    for (const packets::ProtocolDef& slot : packets::packetsState.protocols) {
      for (uint32_t code : {slot.start.code, slot.end.code}) {
        const uint32_t channel = code >> 4;
        if (code <= 15 || channel >= 32) continue;
        conditions_[conditionCount_++] = {1u << channel, static_cast<uint8_t>(code & 1),
                                          static_cast<uint8_t>(channel * 16 + (code & 1))};
        // Conditions are checked only where the digital lines change, so one
        // on an analog bit needs every digital change visited.
        conditionChannels_ |= channel < 16 ? 1u << channel : 0xFFFFu;
      }
    }
  }

  file_ = args.recordFile ? std::fopen(reinterpret_cast<const char*>(args.recordFile), "wb") : nullptr;
  if (!file_) {
    Fail("Can not open output file");
    if (feeding_) {
      feeding_ = false;
      CloseRedodoRovodovoz();
    }
    return false;
  }
  text_.Open(file_);
  if (publish) {
    ResetRecordOffset();
    packets::streamPosition.DecoderSampleRate = rate_;
  }
  return true;
}

void DecoderRun::SignalEvents(uint32_t i, uint32_t now, uint32_t prev) {
  for (int c = 0; c < conditionCount_; ++c) {
    const Condition& condition = conditions_[c];
    const bool high = now & condition.mask;
    const bool wasHigh = prev & condition.mask;
    if (high != wasHigh && high == (condition.level != 0)) Control(i, condition.code, 1);
  }
}

void DecoderRun::SignalEventsThrough(uint32_t from, uint32_t last) {
  if (!conditionCount_) return;
  const uint32_t limit = last < end_ ? last + 1 : end_;
  for (uint32_t i = std::max(from, start_ + 1); (i = Seek(i, limit, conditionChannels_)) < limit; ++i) {
    if ((words_[i] ^ words_[i - 1]) & 0xFFFFu) SignalEvents(i, words_[i], words_[i - 1]);
  }
}

int32_t DecoderRun::Finish() {
  text_.EndLine();
  text_.Release();
  bool recordsWritten = true;
  int reason = 0;
  if (file_) {
    // A full disk shows as a failed write (kept by the error flag) or a failed close.
    recordsWritten = std::ferror(file_) == 0;
    errno = 0;
    recordsWritten = std::fclose(file_) == 0 && recordsWritten;
    reason = errno;
    file_ = nullptr;
  }
  Control(stopIndex_, 127, lastChannel_);
  bool packetsWritten = true;
  if (feeding_) {
    feeding_ = false;
    packetsWritten = CloseRedodoRovodovoz() != 0;
  }
  if (!recordsWritten) {
    Fail("Can not write output file%s%s", reason ? ": " : "", reason ? std::strerror(reason) : "");
    return 0;
  }
  if (!packetsWritten) {
    ConsolePrint("Error Closing RedodoRovodovoz\nExiting.\n");
    Fail("Error Closing RedodoRovodovoz");
    return 0;
  }
  return 1;
}

void DecoderRun::Record(const char* format, ...) {
  char text[kRecordTextSize];
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (written >= 0) text_.Add(text, std::strlen(text));
}

void DecoderRun::RecordHeader(uint32_t sampleIndex, bool newLine) {
  if (newLine) text_.AddPlain("\r\n", 2);
  const char* time = Timestamp(sampleIndex);
  text_.AddPlain(time, std::strlen(time));
  text_.AddPlain(" ", 1);
  text_.Add(decoderState.DecoderName, strnlen(decoderState.DecoderName, kDecoderNameSize));
  text_.AddPlain(", ", 2);
}

void DecoderRun::Control(uint32_t sampleIndex, uint8_t code, int8_t channel) {
  lastChannel_ = channel;
  NoteRecordSample(sampleIndex);
  if (eventSink.sink) eventSink.sink(sampleIndex, 1, code, 0, channel, eventSink.user);
  if (!feeding_) return;
  SendDataStream(0, sampleIndex, code, 0, channel, 1, static_cast<int32_t>(packets::streamPosition.RecordOffset));
}

void DecoderRun::Data(uint32_t sampleIndex, uint32_t value, int bits, int8_t channel) {
  lastChannel_ = channel;
  NoteRecordSample(sampleIndex);
  if (eventSink.sink) eventSink.sink(sampleIndex, 0, value, bits, channel, eventSink.user);
  if (!feeding_) return;
  const int32_t offset = static_cast<int32_t>(packets::streamPosition.RecordOffset);
  if (bits <= 8) {
    SendDataStream(0, sampleIndex, static_cast<uint8_t>(value), static_cast<char>(bits), channel, 0, offset);
    return;
  }
  int shift = (bits - 1) / 8 * 8;
  int pieceBits = bits - shift;
  for (; shift >= 0; shift -= 8, pieceBits = 8) {
    SendDataStream(0, sampleIndex, static_cast<uint8_t>(value >> shift), static_cast<char>(pieceBits), channel, 0,
                   offset);
  }
}

}  // namespace tqla::decoders
