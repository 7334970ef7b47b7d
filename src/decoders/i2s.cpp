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

// Only word-select changes drive the decoder; the clock and data lines are
// read ahead from each of them.
class I2sDecoder {
 public:
  I2sDecoder(DecoderRun& run, const I2sOptions& o) : run_(run), o_(o) {}

  void Step(uint32_t i, uint32_t now, uint32_t prev) {
    if (done_ || !((now ^ prev) & o_.wordSelect)) return;
    if (!synchronised_) {
      if (static_cast<bool>(now & o_.wordSelect) != o_.syncHigh) return;
      synchronised_ = true;
    }
    Word(i);
  }

 private:
  void Word(uint32_t i) {
    const uint32_t* w = run_.words();
    uint32_t at = o_.clock.Skip(w, i, o_.delay, run_.end());
    if (at >= run_.end()) {
      done_ = true;
      return;
    }
    const uint32_t wordStart = at;
    uint32_t word = 0;
    for (uint32_t b = 0; b < o_.word.bits; ++b) {
      at = o_.clock.Next(w, at, run_.end());
      if (at >= run_.end()) {
        done_ = true;
        return;
      }
      const uint32_t bit = (w[at] & o_.data) ? 1 : 0;
      word = (word << 1) | bit;
      run_.Data(at, bit, 1, 1);
    }
    if (firstWord_ || wordsInLine_ >= o_.perLine) {
      firstWord_ = false;
      wordsInLine_ = 0;
      run_.Record("\n%s %s, ", run_.Timestamp(wordStart), decoderState.DecoderName);
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
  return Guarded<int32_t>("DecodeI2S", 0, [&]() -> int32_t {
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
