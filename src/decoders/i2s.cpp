// The I2S decoder: every word-select change starts a word, whose bits are read
// at the clock edges that follow it, after a delay of some edges.
#include "decoders/clocked_words.h"
#include "decoders/decoder_frame.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

struct I2sOptions {
  uint32_t data;
  uint32_t wordSelect;
  ClockEdges clock;
  uint32_t delay;
  bool syncHigh;
  WordFormat word;
  bool hexadecimal;
  int32_t perLine;
};

// The clock edges after the start of the range, numbered from 1, found by
// two cursors that only move forward: one counts the edges up to a sample,
// the other finds edges by number and remembers the last 64. However far
// apart word-select changes and clock edges lie, every stretch of the range
// is scanned at most twice.
class EdgeNumbers {
 public:
  EdgeNumbers(const DecoderRun& run, ClockEdges clock)
      : words_(run.words()), end_(run.end()), clock_(clock), nextCounted_(clock.Next(words_, run.start(), end_)),
        found_(run.start()) {}

  // How many edges lie after the start of the range, up to and including i.
  uint64_t CountUpTo(uint32_t i) {
    while (nextCounted_ < end_ && nextCounted_ <= i) {
      ++counted_;
      nextCounted_ = clock_.Next(words_, nextCounted_, end_);
    }
    return counted_;
  }

  // The sample of edge number k, or end() when the range ends before it;
  // k is never more than 63 below a number asked for before.
  uint32_t At(uint64_t k) {
    while (foundCount_ < k) {
      if (found_ >= end_) return end_;
      found_ = clock_.Next(words_, found_, end_);
      if (found_ >= end_) return end_;
      recent_[++foundCount_ % kRecent] = found_;
    }
    return recent_[k % kRecent];
  }

 private:
  static constexpr uint64_t kRecent = 64;
  const uint32_t* words_;
  const uint32_t end_;
  const ClockEdges clock_;
  uint64_t counted_ = 0;
  uint32_t nextCounted_;
  uint64_t foundCount_ = 0;
  uint32_t found_;
  uint32_t recent_[kRecent] = {};
};

// Only word-select changes drive the decoder; the clock and data lines are
// read ahead from each of them.
class I2sDecoder {
 public:
  I2sDecoder(DecoderRun& run, const I2sOptions& o) : run_(run), o_(o), edges_(run, o.clock) {}

  void Step(uint32_t i, uint32_t now, uint32_t prev) {
    if (done_ || !((now ^ prev) & o_.wordSelect)) return;
    if (!synchronised_) {
      if (static_cast<bool>(now & o_.wordSelect) != o_.syncHigh) return;
      synchronised_ = true;
    }
    Word(i);
  }

 private:
  // A word, or the end of the run when its start or a bit lies past the range.
  void Word(uint32_t i) {
    const uint64_t first = edges_.CountUpTo(i) + o_.delay;
    const uint32_t wordStart = o_.delay ? edges_.At(first) : i;
    uint32_t word = 0;
    for (uint32_t b = 1; b <= o_.word.bits && wordStart < run_.end(); ++b) {
      const uint32_t at = edges_.At(first + b);
      if (at >= run_.end()) break;
      const uint32_t bit = (run_.words()[at] & o_.data) ? 1 : 0;
      word = (word << 1) | bit;
      run_.Data(at, bit, 1, 1);
      if (b == o_.word.bits) {
        Write(wordStart, word);
        return;
      }
    }
    done_ = true;
  }

  void Write(uint32_t wordStart, uint32_t word) {
    if (firstWord_ || wordsInLine_ >= o_.perLine) {
      firstWord_ = false;
      wordsInLine_ = 0;
      run_.RecordHeader(wordStart, true);
    }
    ++wordsInLine_;
    const uint32_t value = o_.word.Value(word);
    if (o_.hexadecimal) {
      o_.word.WriteHex(run_, value);
    } else {
      run_.Record(o_.word.blank ? "%d " : "%d,", o_.word.Signed(value));
    }
  }

  DecoderRun& run_;
  const I2sOptions o_;
  EdgeNumbers edges_;
  bool synchronised_ = false;
  bool done_ = false;
  bool firstWord_ = true;
  int32_t wordsInLine_ = 0;
};

}  // namespace

extern "C" {

// Fails as DecodeI2C does ("No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file"), and with "Bits per word must be 1 to
// 32" before anything is opened. A negative delay counts as 0. The first word
// always opens a record line, however many words a line takes.
int32_t TQLA_API DecodeI2S(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, uint32_t rate,
                           uint32_t dataChannel, int32_t delay, uint32_t, uint32_t firstWordSelectLevel,
                           uint32_t wordSelectChannel, uint32_t, uint32_t clockChannel, uint32_t risingEdge,
                           uint32_t bitsPerWord, uint32_t msbFirst, uint32_t delimiter, uint32_t hexadecimal,
                           int32_t wordsPerLine, char* protocolFile, char* packetFile, char* errorText) {
  return GuardedDecoder("DecodeI2S", errorText, [&]() -> int32_t {
    if (!CheckBitsPerWord(bitsPerWord, errorText)) return 0;
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, static_cast<int32_t>(rate), protocolFile, packetFile,
                    errorText})) {
      return 0;
    }
    const I2sOptions options{ChannelMask(dataChannel),
                             ChannelMask(wordSelectChannel),
                             {ChannelMask(clockChannel), risingEdge != 0},
                             delay > 0 ? static_cast<uint32_t>(delay) : 0u,
                             firstWordSelectLevel != 0,
                             {bitsPerWord, msbFirst != 0, delimiter == 2},
                             hexadecimal != 0,
                             wordsPerLine};
    I2sDecoder decoder(run, options);
    run.Walk(options.wordSelect, [&](uint32_t i, uint32_t now, uint32_t prev) { decoder.Step(i, now, prev); });
    return run.Finish();
  });
}

}  // extern "C"
