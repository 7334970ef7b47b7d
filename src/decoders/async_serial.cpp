// The asynchronous serial decoder: up to sixteen lines with one baud rate and
// framing, characters read at fixed bit positions from each start edge.
#include "decoders/decoder_frame.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

constexpr int kBitPositions = 20;
constexpr int kMaxSlots = 16;

enum Parity : uint32_t { kNone = 0, kMark = 1, kSpace = 2, kEven = 3, kOdd = 4 };

struct AsyncOptions {
  uint32_t dataBits;
  uint32_t parity;
  uint32_t delimiter;
  bool hexadecimal;
  bool character;
  int32_t perLine;
};

struct Slot {
  uint32_t channel;
  uint32_t mask;
  int8_t packetChannel;  // 0: the channel of the preceding event
  bool previous = false;
  uint64_t earliestStart = 0;
};

class AsyncDecoder {
 public:
  AsyncDecoder(DecoderRun& run, const AsyncOptions& o, uint32_t channelMask, uint32_t baud) : run_(run), o_(o) {
    const double samplesPerBit = baud ? static_cast<double>(run.rate()) / baud : 0.0;
    for (int j = 0; j < kBitPositions; ++j) position_[j] = static_cast<uint32_t>(j * samplesPerBit + samplesPerBit / 2);
    stopBit_ = o.dataBits + 1 + (o.parity != kNone ? 1 : 0);
    for (uint32_t channel = 0; channel < 16; ++channel) {
      if (!(channelMask & (1u << channel))) continue;
      const int8_t packetChannel = slotCount_ < 2 ? static_cast<int8_t>(slotCount_ + 1) : 0;
      slots_[slotCount_++] = {channel, 1u << channel, packetChannel};
      watched_ |= 1u << channel;
    }
  }

  uint32_t WatchedChannels() const { return watched_; }

  // A start bit is a fall of the line, so samples where no line changes
  // leave every slot alone.
  void Step(uint32_t i, uint32_t now) {
    for (int s = 0; s < slotCount_; ++s) {
      Slot& slot = slots_[s];
      const bool level = now & slot.mask;
      if (slot.previous && !level && i >= slot.earliestStart) Character(slot, i);
      slot.previous = level;
    }
  }

 private:
  bool Bit(const Slot& slot, uint32_t i, uint32_t j) const { return run_.words()[i + position_[j]] & slot.mask; }

  void Character(Slot& slot, uint32_t i) {
    // A character whose stop bit lies past the words that exist is not read.
    if (static_cast<uint64_t>(i) + position_[stopBit_] >= run_.readable()) return;
    uint32_t value = 0;
    uint32_t ones = 0;
    for (uint32_t j = 1; j <= o_.dataBits; ++j) {
      if (Bit(slot, i, j)) {
        value |= 1u << (j - 1);
        ++ones;
      }
    }
    if (o_.parity != kNone && ParityError(Bit(slot, i, o_.dataBits + 1), ones)) {
      run_.Control(i, 1, ChannelOf(slot));
    }
    run_.Data(i, value & 0xFF, 8, ChannelOf(slot));
    ++written_;
    if (&slot != current_ || written_ >= o_.perLine) {
      written_ = 0;
      run_.Record(o_.delimiter == 1 && !o_.character ? "\n%s %s, CH%d," : "\n%s %s, CH%d ", run_.Timestamp(i),
                  decoderState.DecoderName, static_cast<int>(slot.channel));
      current_ = &slot;
    }
    WriteValue(value);
    slot.earliestStart = static_cast<uint64_t>(i) + position_[stopBit_];
  }

  bool ParityError(bool bit, uint32_t ones) const {
    switch (o_.parity) {
      case kMark: return !bit;
      case kSpace: return bit;
      case kEven: return ((ones + bit) & 1) != 0;
      case kOdd: return ((ones + bit) & 1) == 0;
      default: return false;
    }
  }

  int8_t ChannelOf(const Slot& slot) const { return slot.packetChannel ? slot.packetChannel : run_.LastChannel(); }

  void WriteValue(uint32_t value) {
    static const char* const kFormats[3][3] = {
        {"%c", "%02X", "%3d"}, {"%c,", "%02X,", "%3d,"}, {"%c ", "%02X ", "%3d "}};
    const int kind = o_.character ? 0 : o_.hexadecimal ? 1 : 2;
    run_.Record(kFormats[o_.delimiter][kind], value);
  }

  DecoderRun& run_;
  const AsyncOptions o_;
  uint32_t position_[kBitPositions] = {};
  uint32_t stopBit_ = 0;
  Slot slots_[kMaxSlots] = {};
  int slotCount_ = 0;
  uint32_t watched_ = 0;
  const Slot* current_ = nullptr;
  int32_t written_ = 0;
};

}  // namespace

extern "C" {

// Fails as DecodeI2C does ("No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file"), and with "Unsupported character
// framing" when data, parity and stop bits need more than the 20 bit
// positions (more than 18 data bits, 17 with parity). Baud rate 0 puts every
// bit position at the start edge. A parity code above 4 means no parity; a
// delimiter above 2 the comma variant. A character whose stop bit lies past
// the end of the sample words is dropped: its bits cannot be read.
int32_t TQLA_API DecodeASYNC(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, int32_t rate,
                             uint32_t channelMask, uint32_t baud, uint32_t parity, uint32_t dataBits,
                             uint32_t delimiter, uint32_t hexadecimal, uint32_t character, int32_t charactersPerLine,
                             char* protocolFile, char* packetFile, char* errorText) {
  return GuardedDecoder("DecodeASYNC", errorText, [&]() -> int32_t {
    if (parity > kOdd) parity = kNone;
    if (uint64_t{dataBits} + 1 + (parity != kNone ? 1 : 0) >= kBitPositions) {
      if (errorText) std::snprintf(errorText, kErrorTextSize, "Unsupported character framing");
      return 0;
    }
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, rate, protocolFile, packetFile, errorText})) return 0;
    const AsyncOptions options{dataBits, parity, delimiter <= 2 ? delimiter : 1, hexadecimal != 0, character != 0,
                               charactersPerLine};
    AsyncDecoder decoder(run, options, channelMask, baud);
    run.Walk(decoder.WatchedChannels(), [&](uint32_t i, uint32_t now, uint32_t) { decoder.Step(i, now); });
    return run.Finish();
  });
}

}  // extern "C"
