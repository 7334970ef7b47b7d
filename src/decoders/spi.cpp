// The SPI decoders: DecodeSPIVariable (words of 1 to 32 bits, one record line
// per group of words, packet engine feed) and DecodeSPI (8-bit words, each
// record a MOSI line and a MISO line).
#include <cstring>

#include "decoders/decoder_frame.h"
#include "frame/console.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

struct SpiLines {
  uint32_t ss;
  uint32_t sck;
  uint32_t mosi;
  uint32_t miso;
  bool misoRising;
  bool mosiRising;
  bool useChipSelect;
  int wordSize;
};

// What both decoders share: the frame gate, the clock edges, the shift
// registers and word assembly. The sink decides what a frame and a word mean
// for the record. Only SS and clock changes matter; the data lines are read at
// clock edges.
template <class Sink>
class SpiReceiver {
 public:
  SpiReceiver(const SpiLines& lines, Sink& sink)
      : l_(lines), sink_(sink), wordMask_(lines.wordSize >= 32 ? 0xFFFFFFFFu : (1u << lines.wordSize) - 1) {}

  uint32_t WatchedChannels() const { return l_.sck | (l_.useChipSelect ? l_.ss : 0u); }

  void Step(uint32_t i, uint32_t now, uint32_t prev) {
    if (l_.useChipSelect && (now & l_.ss)) {
      if (!ssWasInactive_) {
        ssWasInactive_ = true;
        edges_ = 0;
        sink_.FrameEnd(i);
      }
      return;
    }
    if (ssWasInactive_) {
      ssWasInactive_ = false;
      sink_.FrameStart(i);
    }
    const bool clock = now & l_.sck;
    if (clock == static_cast<bool>(prev & l_.sck)) return;
    bool sampled = false;
    if (l_.misoRising == clock) {
      miso_ = (miso_ << 1) | ((now & l_.miso) ? 1u : 0u);
      sampled = true;
    }
    if (l_.mosiRising == clock) {
      mosi_ = (mosi_ << 1) | ((now & l_.mosi) ? 1u : 0u);
      sampled = true;
    }
    if (sampled && edges_ <= 1) {
      wordFirst_ = i;
      if (sink_.FirstWordOfRecord()) recordFirst_ = i;
    }
    miso_ &= wordMask_;
    mosi_ &= wordMask_;
    if (++edges_ == 2 * l_.wordSize) {
      edges_ = 0;
      sink_.Word(i, mosi_, miso_);
    }
  }

  // The sample of the first clock cycle of the current record's first word.
  uint32_t recordFirst_ = 0;
  // The same for the word being received.
  uint32_t wordFirst_ = 0;

 private:
  const SpiLines l_;
  Sink& sink_;
  const uint32_t wordMask_;
  bool ssWasInactive_ = true;
  uint8_t edges_ = 0;
  uint32_t mosi_ = 0;
  uint32_t miso_ = 0;
};

class VariableSink {
 public:
  VariableSink(DecoderRun& run, const SpiLines& lines, bool blank, uint32_t format, int32_t wordsPerRecord)
      : run_(run), lines_(lines), blank_(blank), format_(format), wordsPerRecord_(wordsPerRecord),
        digits_((lines.wordSize + 3) / 4), receiver_(lines, *this) {
    receiver_.recordFirst_ = run.start();
  }

  void Decode() {
    run_.Walk(receiver_.WatchedChannels(),
              [&](uint32_t i, uint32_t now, uint32_t prev) { receiver_.Step(i, now, prev); });
  }

  void FrameStart(uint32_t i) {
    if (lines_.useChipSelect) wordsInRecord_ = 0;
    run_.Control(i, 1);
  }
  void FrameEnd(uint32_t i) { run_.Control(i, 2); }
  bool FirstWordOfRecord() const { return wordsInRecord_ == 0 || wordsInRecord_ >= wordsPerRecord_; }

  void Word(uint32_t i, uint32_t mosi, uint32_t miso) {
    if (wordsInRecord_ >= wordsPerRecord_) wordsInRecord_ = 0;
    if (wordsInRecord_ == 0) {
      run_.Record("\n%s %s, ", run_.Timestamp(receiver_.recordFirst_), decoderState.DecoderName);
      run_.Record("MISO,MOSI: ");
    }
    ++wordsInRecord_;
    run_.Data(i, miso, lines_.wordSize, 1);
    Value(miso);
    Value(mosi);
    run_.Data(i, mosi, lines_.wordSize, 2);
  }

 private:
  void Value(uint32_t value) {
    if (format_ == 2) {
      run_.Record("%c", static_cast<int>(value));
    } else if (format_ == 0) {
      run_.Record(blank_ ? "%d " : "%d,", static_cast<int32_t>(value));
    } else if (digits_ > 7) {
      run_.Record("%08X  ", value);
    } else {
      run_.Record(blank_ ? "%0*X  " : "%0*X, ", digits_, value);
    }
  }

  DecoderRun& run_;
  const SpiLines lines_;
  const bool blank_;
  const uint32_t format_;
  const int32_t wordsPerRecord_;
  const int digits_;
  int32_t wordsInRecord_ = 0;
  SpiReceiver<VariableSink> receiver_;
};

// DecodeSPI's two line texts, shared process-wide as hosts know them.
constexpr size_t kLineTextSize = 100000;
char mosiLine[kLineTextSize + 1];
char misoLine[kLineTextSize + 1];

class LineSink {
 public:
  LineSink(DecoderRun& run, const SpiLines& lines, bool blank, uint32_t format, int32_t wordsPerRecord)
      : run_(run), lines_(lines), blank_(blank), format_(format), wordsPerRecord_(wordsPerRecord),
        receiver_(lines, *this) {
    receiver_.recordFirst_ = run.start();
    mosiLine[0] = misoLine[0] = '\0';
  }

  void Decode() {
    run_.Walk(receiver_.WatchedChannels(),
              [&](uint32_t i, uint32_t now, uint32_t prev) { receiver_.Step(i, now, prev); });
    if (!lines_.useChipSelect && wordsInRecord_ > 0) WriteRecord();
  }

  void FrameStart(uint32_t) {
    if (lines_.useChipSelect) wordsInRecord_ = 0;
  }
  void FrameEnd(uint32_t) { WriteRecord(); }
  bool FirstWordOfRecord() const { return wordsInRecord_ == 0; }

  void Word(uint32_t, uint32_t mosi, uint32_t miso) {
    char mosiText[8];
    char misoText[8];
    Format(mosiText, mosi);
    Format(misoText, miso);
    const size_t mosiAdd = std::strlen(mosiText);
    const size_t misoAdd = std::strlen(misoText);
    if (mosiLength_ + mosiAdd > kLineTextSize || misoLength_ + misoAdd > kLineTextSize) {
      WriteRecord();
      receiver_.recordFirst_ = receiver_.wordFirst_;
    }
    std::memcpy(mosiLine + mosiLength_, mosiText, mosiAdd + 1);
    std::memcpy(misoLine + misoLength_, misoText, misoAdd + 1);
    mosiLength_ += mosiAdd;
    misoLength_ += misoAdd;
    ++wordsInRecord_;
    if (!lines_.useChipSelect && wordsInRecord_ >= wordsPerRecord_) WriteRecord();
  }

 private:
  void Format(char* text, uint32_t value) {
    if (format_ == 1) {
      std::snprintf(text, 8, blank_ ? "%02X  " : "%02X, ", value);
    } else if (format_ == 2) {
      std::snprintf(text, 8, "%c", static_cast<int>(value));
    } else {
      std::snprintf(text, 8, blank_ ? "%3d " : "%3d,", static_cast<int>(value));
    }
  }

  // Straight to the file: DecodeSPI leaves RecordOffset alone.
  void WriteRecord() {
    FILE* file = run_.file();
    std::fprintf(file, "%s %s, ", run_.Timestamp(receiver_.recordFirst_), decoderState.DecoderName);
    std::fprintf(file, "MOSI: %s\r\n", mosiLine);
    std::fprintf(file, "%s %s, ", run_.Timestamp(receiver_.recordFirst_), decoderState.DecoderName);
    std::fprintf(file, "MISO: %s\r\n", misoLine);
    mosiLine[0] = misoLine[0] = '\0';
    mosiLength_ = misoLength_ = 0;
    wordsInRecord_ = 0;
  }

  DecoderRun& run_;
  const SpiLines lines_;
  const bool blank_;
  const uint32_t format_;
  const int32_t wordsPerRecord_;
  int32_t wordsInRecord_ = 0;
  size_t mosiLength_ = 0;
  size_t misoLength_ = 0;
  SpiReceiver<LineSink> receiver_;
};

SpiLines Lines(uint32_t ss, uint32_t sck, uint32_t mosi, uint32_t miso, uint32_t misoRising, uint32_t mosiRising,
               uint32_t useChipSelect, int32_t wordSize) {
  return {ChannelMask(ss),  ChannelMask(sck),  ChannelMask(mosi),  ChannelMask(miso),
          misoRising != 0, mosiRising != 0, useChipSelect != 0, (wordSize >= 1 && wordSize <= 32) ? wordSize : 8};
}

}  // namespace

extern "C" {

// Fails as DecodeI2C does: "No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file". A word size outside 1-32 means 8.
int32_t TQLA_API DecodeSPIVariable(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, int32_t rate,
                                   uint32_t ssChannel, uint32_t sckChannel, uint32_t mosiChannel,
                                   uint32_t misoChannel, uint32_t misoRisingEdge, uint32_t mosiRisingEdge,
                                   uint32_t delimiter, uint32_t format, uint32_t useChipSelect,
                                   int32_t wordsPerRecord, int32_t wordSize, char* protocolFile, char* packetFile,
                                   char* errorText) {
  return GuardedDecoder("DecodeSPIVariable", errorText, [&]() -> int32_t {
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, rate, protocolFile, packetFile, errorText})) return 0;
    const SpiLines lines = Lines(ssChannel, sckChannel, mosiChannel, misoChannel, misoRisingEdge, mosiRisingEdge,
                                 useChipSelect, wordSize);
    VariableSink sink(run, lines, delimiter == 2, format, wordsPerRecord);
    sink.Decode();
    return run.Finish();
  });
}

// Always 0, with nothing to report into: a run that cannot start, or whose
// record file cannot be written in full, prints its reason ("Unknown sample
// rate code %d", "Can not open output file", "Can not write output file: %s",
// ...) on the console. A frame longer than a line text holds (25000 values) is
// written as a record when the text is full and goes on in a new record, with
// the timestamp of the word that did not fit.
int32_t TQLA_API DecodeSPI(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, int32_t rate,
                           uint32_t ssChannel, uint32_t sckChannel, uint32_t mosiChannel, uint32_t misoChannel,
                           uint32_t misoRisingEdge, uint32_t mosiRisingEdge, uint32_t delimiter, uint32_t format,
                           uint32_t useChipSelect, int32_t wordsPerRecord, char*, char*, char*) {
  return Guarded<int32_t>("DecodeSPI", 0, [&]() -> int32_t {
    DecoderRun run;
    char error[kErrorTextSize] = {};
    if (!run.Begin({samples, recordFile, start, end, rate, nullptr, nullptr, error}, false)) {
      ConsolePrint("%s\n", error);
      FailText(error);
      return 0;
    }
    const SpiLines lines = Lines(ssChannel, sckChannel, mosiChannel, misoChannel, misoRisingEdge, mosiRisingEdge,
                                 useChipSelect, 8);
    LineSink sink(run, lines, delimiter == 2, format, wordsPerRecord);
    sink.Decode();
    if (!run.Finish()) ConsolePrint("%s\n", error);
    return 0;
  });
}

}  // extern "C"
