// The 1-Wire decoder: reset and presence pulses told apart by their low time,
// then time slots read at the slot sample point and gathered into bytes,
// least significant bit first, one record line per reset/presence sequence.
#include "decoders/decoder_frame.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

struct OneWireOptions {
  uint32_t line;
  bool blank;
  bool labels;
  bool hexadecimal;
};

// Low times are counted in samples from the falling edge, which itself does
// not count. Between two samples the walk visits, the line holds its level,
// so the counter and the timed decisions it drives (the slot's sample point,
// a slot held low into a reset) are brought forward by arithmetic in Hold,
// the same as visiting each of those samples would do.
class OneWireDecoder {
 public:
  OneWireDecoder(DecoderRun& run, const OneWireOptions& o)
      : run_(run), o_(o), reset_(run.rate() / 2083), presence_(run.rate() / 12500),
        slotPoint_(run.rate() / 66667), next_(run.start()) {}

  // The samples since the last one seen hold the level of the one before i.
  void CatchUp(uint32_t i) {
    if (next_ < i) Hold(next_, i, run_.words()[i - 1] & o_.line);
    next_ = i;
  }

  void Step(uint32_t i, uint32_t now, uint32_t prev) {
    const bool level = now & o_.line;
    const bool before = prev & o_.line;
    if (before && !level) {
      counter_ = 0;
      timing_ = true;
    } else if (!before && level) {
      RisingEdge(i);
    } else {
      Hold(i, i + 1, level);
    }
    next_ = i + 1;
  }

 private:
  enum class Bus : uint8_t { kIdle, kResetSeen, kData };

  void RisingEdge(uint32_t i) {
    if (bus_ == Bus::kData) {
      Hold(i, i + 1, true);  // a slot goes on being timed whatever the line does
      return;
    }
    const bool timed = timing_;
    timing_ = false;
    if (!timed) return;
    if (bus_ == Bus::kIdle && counter_ > reset_) {
      bus_ = Bus::kResetSeen;
      run_.Control(i, 1);
      if (o_.labels) run_.Record("\n%s %s, Reset Pulse ", run_.Timestamp(i), decoderState.DecoderName);
    } else if (bus_ == Bus::kResetSeen && counter_ > presence_) {
      bus_ = Bus::kData;
      run_.Control(i, 2);
      run_.Record(o_.labels ? "\n%s %s, Presence Pulse " : "\n%s %s, ", run_.Timestamp(i), decoderState.DecoderName);
    }
  }

  // Samples [from, to) on which the line stays at level without an edge.
  void Hold(uint32_t from, uint32_t to, bool level) {
    while (from < to) {
      const uint64_t n = to - from;
      if (bus_ != Bus::kData) {
        if (timing_ && !level) counter_ += n;
        return;
      }
      if (timing_) {
        // The sample on which the counter passes the sample point is read.
        const uint64_t untilRead = counter_ > slotPoint_ ? 1 : slotPoint_ + 1 - counter_;
        if (n < untilRead) {
          counter_ += n;
          return;
        }
        counter_ += untilRead;
        from += static_cast<uint32_t>(untilRead);
        timing_ = false;
        Bit(from - 1, level);
        continue;
      }
      if (level) return;
      // A slot held low past the presence time is a reset in the making.
      const uint64_t untilIdle = counter_ > presence_ ? 1 : presence_ + 1 - counter_;
      if (n < untilIdle) {
        counter_ += n;
        return;
      }
      counter_ += untilIdle;
      from += static_cast<uint32_t>(untilIdle);
      bus_ = Bus::kIdle;
      bits_ = 0;
      timing_ = true;
    }
  }

  void Bit(uint32_t i, bool level) {
    byte_ = static_cast<uint8_t>((byte_ >> 1) | (level ? 0x80 : 0));
    if (++bits_ < 8) return;
    bits_ = 0;
    run_.Data(i, byte_, 8, 1);
    if (o_.hexadecimal) {
      run_.Record(o_.blank ? "%02X " : "%02X,", byte_);
    } else {
      run_.Record(o_.blank ? "%3d " : "%3d,", byte_);
    }
  }

  DecoderRun& run_;
  const OneWireOptions o_;
  const uint64_t reset_;
  const uint64_t presence_;
  const uint64_t slotPoint_;
  uint32_t next_;
  Bus bus_ = Bus::kIdle;
  bool timing_ = false;
  uint64_t counter_ = 0;
  uint8_t byte_ = 0;
  uint8_t bits_ = 0;
};

}  // namespace

extern "C" {

// Fails as DecodeI2C does ("No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file"). A line already low at the start of
// the range is not timed: its rise ends no pulse.
int32_t TQLA_API Decode1Wire(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, int32_t rate,
                             uint32_t channel, int32_t delimiter, int32_t labels, int32_t hexadecimal,
                             char* protocolFile, char* packetFile, char* errorText) {
  return GuardedDecoder("Decode1Wire", errorText, [&]() -> int32_t {
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, rate, protocolFile, packetFile, errorText})) return 0;
    const OneWireOptions options{ChannelMask(channel), delimiter == 2, labels != 0, hexadecimal != 0};
    OneWireDecoder decoder(run, options);
    run.Walk(
        options.line, [&](uint32_t i) { decoder.CatchUp(i); },
        [&](uint32_t i, uint32_t now, uint32_t prev) { decoder.Step(i, now, prev); });
    return run.Finish();
  });
}

}  // extern "C"
