// The parallel bus decoder: the channels of a mask packed into one value, taken
// at each chosen clock edge or at every sample, a number of values per line.
#include <bit>

#include "decoders/decoder_frame.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

// Packs the masked channels of a sample word, the lowest in bit 0, through
// one table per byte of the word.
class ChannelPacker {
 public:
  explicit ChannelPacker(uint32_t mask) : lowWidth_(std::popcount(mask & 0xFFu)) {
    for (uint32_t b = 0; b < 256; ++b) {
      low_[b] = Pack(b, mask & 0xFFu);
      high_[b] = static_cast<uint16_t>(Pack(b, (mask >> 8) & 0xFFu) << lowWidth_);
    }
  }
  uint32_t operator()(uint32_t word) const { return low_[word & 0xFF] | high_[(word >> 8) & 0xFF]; }

 private:
  static uint16_t Pack(uint32_t byte, uint32_t mask) {
    uint16_t value = 0;
    int bit = 0;
    for (int k = 0; k < 8; ++k) {
      if (mask & (1u << k)) value |= static_cast<uint16_t>(((byte >> k) & 1) << bit++);
    }
    return value;
  }
  const int lowWidth_;
  uint16_t low_[256];
  uint16_t high_[256];
};

// The value texts of the table by bus width, written without printf: "%0NX"
// with N = 1-4 digits or "%Wd" with W = 1, 2, 4 or 5, then the delimiter.
class ValueText {
 public:
  ValueText(int width, bool hexadecimal, bool blank)
      : hexadecimal_(hexadecimal), size_(hexadecimal ? (width + 3) / 4 : kDecimalWidths[(width - 1) / 4]),
        delimiter_(blank ? ' ' : ',') {}

  // Writes the text of value (below 65536) to text, at least 7 characters
  // long; returns its length.
  size_t Write(char* text, uint32_t value) const {
    size_t length = 0;
    if (hexadecimal_) {
      for (int k = size_ - 1; k >= 0; --k) text[length++] = "0123456789ABCDEF"[(value >> (4 * k)) & 15];
    } else {
      char digits[5];
      int count = 0;
      do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
      } while (value && count < 5);
      for (int pad = size_ - count; pad > 0; --pad) text[length++] = ' ';
      while (count) text[length++] = digits[--count];
    }
    text[length++] = delimiter_;
    return length;
  }

 private:
  static constexpr int kDecimalWidths[4] = {1, 2, 4, 5};
  const bool hexadecimal_;
  const int size_;
  const char delimiter_;
};

struct ParallelOptions {
  uint32_t channels;
  uint32_t clock;
  bool useClock;
  int32_t clockEdge;
  bool blank;
  bool hexadecimal;
  int32_t perLine;
};

class ParallelDecoder {
 public:
  ParallelDecoder(DecoderRun& run, const ParallelOptions& o)
      : run_(run), o_(o), width_(std::popcount(o.channels)), pack_(o.channels),
        text_(width_, o.hexadecimal, o.blank), next_(run.start()) {}

  void Decode() {
    if (!o_.useClock) {
      // Every sample gives a value; the walk only stops where signal events
      // are due, which go out between the values of the samples around them.
      run_.Walk(
          0, [&](uint32_t i) { ValuesUpTo(i); }, [&](uint32_t i, uint32_t, uint32_t) { ValuesUpTo(i + 1); });
      return;
    }
    if (o_.clockEdge != 0 && o_.clockEdge != 1) {
      run_.Walk(0, [](uint32_t, uint32_t, uint32_t) {});
      return;
    }
    const uint32_t first = run_.start();
    const bool rising = o_.clockEdge == 1;
    run_.Walk(o_.clock, [&](uint32_t i, uint32_t now, uint32_t prev) {
      const bool clock = now & o_.clock;
      if (i != first && clock != static_cast<bool>(prev & o_.clock) && clock == rising) Value(i, now);
    });
  }

 private:
  void ValuesUpTo(uint32_t end) {
    const uint32_t* w = run_.words();
    for (; next_ < end; ++next_) Value(next_, w[next_]);
  }

  void Value(uint32_t i, uint32_t word) {
    if (written_ == 0 || inLine_ >= o_.perLine) {
      run_.RecordHeader(i, written_ != 0);
      inLine_ = 0;
    }
    const uint32_t value = pack_(word);
    run_.RecordFilled(8, [&](char* at) { return text_.Write(at, value); });
    run_.Data(i, value, width_, 1);
    ++inLine_;
    ++written_;
  }

  DecoderRun& run_;
  const ParallelOptions o_;
  const int width_;
  const ChannelPacker pack_;
  const ValueText text_;
  uint32_t next_;
  uint64_t written_ = 0;
  int32_t inLine_ = 0;
};

}  // namespace

extern "C" {

// Fails as DecodeI2C does ("No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file"), and before anything is opened with
// "Empty channel mask", "Channel mask %X names channels past 15" or, with the
// clock in use, "Clock channel %u is on the bus" when the clock is one of the
// data channels.
int32_t TQLA_API DecodeParallel(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, int32_t rate,
                                uint32_t channelMask, uint32_t clockChannel, uint32_t useClock, int32_t clockEdge,
                                uint32_t delimiter, uint32_t hexadecimal, int32_t valuesPerLine, char* protocolFile,
                                char* packetFile, char* errorText) {
  return GuardedDecoder("DecodeParallel", errorText, [&]() -> int32_t {
    if (channelMask == 0 || channelMask > 0xFFFFu) {
      if (errorText) {
        std::snprintf(errorText, kErrorTextSize,
                      channelMask ? "Channel mask %X names channels past 15" : "Empty channel mask", channelMask);
      }
      return 0;
    }
    if (useClock && (channelMask & ChannelMask(clockChannel))) {
      if (errorText) std::snprintf(errorText, kErrorTextSize, "Clock channel %u is on the bus", clockChannel);
      return 0;
    }
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, rate, protocolFile, packetFile, errorText})) return 0;
    const ParallelOptions options{channelMask, ChannelMask(clockChannel), useClock != 0, clockEdge,
                                  delimiter == 2, hexadecimal != 0, valuesPerLine};
    ParallelDecoder decoder(run, options);
    decoder.Decode();
    return run.Finish();
  });
}

}  // extern "C"
