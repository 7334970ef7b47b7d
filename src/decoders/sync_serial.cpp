// The synchronous serial decoder: a clocked bit stream cut into words of a
// fixed width, aligned once by a frame line's active edge or by the first
// match of a sync pattern, and gapless from there on.
#include "decoders/clocked_words.h"
#include "decoders/decoder_frame.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

struct SerialOptions {
  uint32_t data;
  uint32_t clock;
  bool clockRising;
  bool frameMode;
  uint32_t frame;
  bool frameRising;
  uint32_t syncPattern;
  WordFormat word;
  int32_t perLine;
};

// Clock edges and, until alignment in frame mode, frame-line changes drive
// the decoder; a sample where neither changes leaves it alone.
class SerialDecoder {
 public:
  SerialDecoder(DecoderRun& run, const SerialOptions& o) : run_(run), o_(o) {}

  uint32_t WatchedChannels() const { return o_.clock | (o_.frameMode ? o_.frame : 0u); }

  void Step(uint32_t i, uint32_t now, uint32_t prev) {
    const bool clock = now & o_.clock;
    if (clock != static_cast<bool>(prev & o_.clock) && clock == o_.clockRising) Edge(i, now);
    if (o_.frameMode && !aligned_ && ((now ^ prev) & o_.frame) && static_cast<bool>(now & o_.frame) == o_.frameRising) {
      aligned_ = true;
      bitCount_ = 0;
      wordsInLine_ = 0;
      run_.Record("%s %s, ", run_.Timestamp(i), decoderState.DecoderName);
    }
  }

 private:
  void Edge(uint32_t i, uint32_t now) {
    const uint32_t bit = (now & o_.data) ? 1 : 0;
    register_ = (register_ << 1) | bit;
    run_.Data(i, bit, 1, 1);
    if (!aligned_) {
      if (!o_.frameMode && o_.word.Value(register_) == o_.syncPattern) {
        aligned_ = true;
        run_.Record("%s %s, ", run_.Timestamp(i), decoderState.DecoderName);
        o_.word.WriteHex(run_, o_.syncPattern);
        wordsInLine_ = 1;
      }
      bitCount_ = 0;
      return;
    }
    if (++bitCount_ < o_.word.bits) return;
    bitCount_ = 0;
    if (wordsInLine_++ >= o_.perLine) {
      run_.Record("\n%s %s, ", run_.Timestamp(i), decoderState.DecoderName);
      wordsInLine_ = 1;
    }
    o_.word.WriteHex(run_, o_.word.Value(register_));
  }

  DecoderRun& run_;
  const SerialOptions o_;
  uint32_t register_ = 0;
  uint32_t bitCount_ = 0;
  bool aligned_ = false;
  int32_t wordsInLine_ = 0;
};

}  // namespace

extern "C" {

// Fails as DecodeI2C does ("No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file"), and before anything is opened with
// "Bits per word must be 1 to 32", or in pattern mode with "Sync pattern %X
// does not fit in %u bits" for a pattern no word could ever equal.
int32_t TQLA_API DecodeSerial(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, uint32_t rate,
                              uint32_t dataChannel, uint32_t syncPattern, uint32_t frameRisingEdge,
                              uint32_t frameChannel, uint32_t frameMode, uint32_t clockChannel, uint32_t risingEdge,
                              uint32_t bitsPerWord, uint32_t msbFirst, uint32_t delimiter, uint32_t,
                              int32_t wordsPerLine, char* protocolFile, char* packetFile, char* errorText) {
  return GuardedDecoder("DecodeSerial", errorText, [&]() -> int32_t {
    if (!CheckBitsPerWord(bitsPerWord, errorText)) return 0;
    const WordFormat word{bitsPerWord, msbFirst != 0, delimiter == 2};
    if (!frameMode && (syncPattern & ~word.Mask())) {
      if (errorText) {
        std::snprintf(errorText, kErrorTextSize, "Sync pattern %X does not fit in %u bits", syncPattern, bitsPerWord);
      }
      return 0;
    }
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, static_cast<int32_t>(rate), protocolFile, packetFile,
                    errorText})) {
      return 0;
    }
    const SerialOptions options{ChannelMask(dataChannel), ChannelMask(clockChannel), risingEdge != 0,
                                frameMode != 0,           ChannelMask(frameChannel), frameRisingEdge != 0,
                                syncPattern,              word,                      wordsPerLine};
    SerialDecoder decoder(run, options);
    run.Walk(decoder.WatchedChannels(), [&](uint32_t i, uint32_t now, uint32_t prev) { decoder.Step(i, now, prev); });
    return run.Finish();
  });
}

}  // extern "C"
