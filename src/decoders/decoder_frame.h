// The frame every bus decoder runs in: arguments and their clamps, rate codes,
// the record file and its text, timestamps, the feed into the packet engine
// with its signal events, and the walk from change to change over the samples.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "decoders/change_scan.h"
#include "frame/export.h"
#include "decoders/decoder_state.h"
#include "decoders/record_buffer.h"

namespace tqla::decoders {

// Error texts copied into a caller's buffer are cut to this size with their
// NUL, the size the packet engine uses for its own messages.
constexpr int kErrorTextSize = 256;
// One formatted piece of record text.
constexpr int kRecordTextSize = 5000;

// Runs a decoder export: its result, and when that is 0 the text it put in
// the caller's error buffer becomes the thread's last error too.
template <class F>
int32_t GuardedDecoder(const char* name, const char* errorText, F&& body) {
  return Guarded<int32_t>(name, 0, [&]() -> int32_t {
    const int32_t result = body();
    if (result == 0) {
      if (errorText && errorText[0]) {
        FailText(errorText);
      } else if (!LastErrorText()[0]) {
        Fail("%s failed", name);
      }
    }
    return result;
  });
}

// Sample rate in Hz of a rate code (rate in MHz times ten plus seven); 0 for a
// code outside the table.
uint32_t SampleRateOfCode(int32_t rateCode);

// A channel number as the mask of its bit in a sample word. Numbers 16-31 name
// analog bits, as the word has them; larger ones a line that never reads high.
constexpr uint32_t ChannelMask(uint32_t channel) { return channel < 32 ? 1u << channel : 0u; }

void ResetRecordOffset();

// Formats at most 4999 characters, advances RecordOffset by their length plus
// one per newline (the CR of a CR LF line end) and writes them to file. Text
// after a NUL produced by "%c" is not written.
void WriteRecordText(FILE* file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The timestamp text of a record header ("%5.1fns," and its siblings, "+"
// prefixed in relative mode). The text lives until the next call.
const char* FormatTimestamp(uint32_t sampleIndex, uint32_t sampleRate);

// How the walk visits samples. Decoders are written so that a sample where no
// watched channel changes leaves their state alone; kEverySample visits every
// sample anyway and exists so that tests can prove both give the same output.
enum class WalkMode : uint8_t { kChanges, kEverySample };
void SetWalkMode(WalkMode mode);
WalkMode CurrentWalkMode();

// The first index k in [from, limit) whose bits under mask differ from those
// of words[from - 1]; limit when there is none. Decoders that read ahead from
// an edge find their next edge with it; in kEverySample mode it looks at one
// sample after the other. from must be at least 1 and words[from - 1 .. limit
// - 1] readable.
template <class Word>
uint32_t SeekChange(const Word* words, uint32_t from, uint32_t limit, uint32_t mask) {
  if constexpr (sizeof(Word) == sizeof(uint32_t)) {
    if (CurrentWalkMode() == WalkMode::kChanges) return NextChange(words, from, limit, mask);
  }
  if (from >= limit) return limit;
  const uint32_t reference = words[from - 1] & mask;
  for (uint32_t k = from; k < limit; ++k) {
    if ((words[k] & mask) != reference) return k;
  }
  return limit;
}

// The arguments every record-writing decoder shares.
struct RunArgs {
  const uint32_t* samples = nullptr;
  const uint8_t* recordFile = nullptr;
  int32_t start = 0;
  int32_t end = 0;
  int32_t rateCode = 0;
  const char* protocolFile = nullptr;
  const char* packetFile = nullptr;
  char* errorText = nullptr;
};

// One decoder run from its arguments to its result.
class DecoderRun {
 public:
  DecoderRun() = default;
  DecoderRun(const DecoderRun&) = delete;
  DecoderRun& operator=(const DecoderRun&) = delete;
  ~DecoderRun();

  // Clamps the range, resolves the rate, starts the packet engine when a
  // protocol file is named, opens the record file and resets RecordOffset and
  // DecoderSampleRate. On failure the message is in the caller's error buffer
  // (and on the console for the packet engine) and nothing stays open.
  // publish false leaves RecordOffset and DecoderSampleRate alone.
  bool Begin(const RunArgs& args, bool publish = true);

  // Visits the first sample of the range and then every sample where a bit of
  // channels, or a channel that a signal condition watches, differs from the
  // sample before; signal events go out before step runs. step(i, now, prev)
  // gets the sample index and the words at i and i - 1 (at the first sample
  // both are the first word, so it never counts as a change).
  template <class Step>
  void Walk(uint32_t channels, Step&& step) {
    Walk(channels, [](uint32_t) {}, step);
  }
  // For decoders that act on time passing between changes (a counter that
  // runs out, a value per sample): catchUp(i) brings the decoder up to sample
  // i from the last one it saw, before the signal events of i go out, so its
  // events come in sample order in both walk modes. It runs once more with
  // end() after the last sample.
  template <class CatchUp, class Step>
  void Walk(uint32_t channels, CatchUp&& catchUp, Step&& step);

  // For decoders that read ahead instead of walking: SeekChange over the
  // run's words, and the signal-event checks at every sample in [from, last]
  // where a watched channel changes (none at the range's first sample).
  uint32_t Seek(uint32_t from, uint32_t limit, uint32_t mask) const { return SeekChange(words_, from, limit, mask); }
  void SignalEventsThrough(uint32_t from, uint32_t last);
  // Where a decoder that does not walk stopped; the end-of-data event goes
  // out there. Clamped to the range.
  void StopAt(uint32_t index) { stopIndex_ = std::min(std::max(index, start_), end_); }
  // Lowers the end of the range for a decoder with a bound of its own, never
  // below the start.
  void LimitEnd(uint32_t end) { end_ = std::max(start_, std::min(end_, end)); }

  // Closes the record file, sends the end-of-data event and closes the packet
  // engine; the decoder's result. A record file that could not be written
  // in full (a full disk) fails the run with "Can not write output file" and
  // the reason; a packet file that could not, with "Error Closing
  // RedodoRovodovoz".
  int32_t Finish();

  void Record(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Record text without a newline that the decoder formatted itself, for
  // values written at every sample or clock edge.
  void RecordPlain(const char* text, size_t length) { text_.AddPlain(text, length); }
  // The same written in place: fill(char* at) writes at most most characters
  // (below 4096) and returns how many.
  template <class Fill>
  void RecordFilled(size_t most, Fill&& fill) {
    text_.AddFilled(most, fill);
  }
  // A record header, "%s %s, " or with newLine "\n%s %s, ", of sampleIndex.
  void RecordHeader(uint32_t sampleIndex, bool newLine);
  const char* Timestamp(uint32_t sampleIndex) const { return FormatTimestamp(sampleIndex, rate_); }
  void Control(uint32_t sampleIndex, uint8_t code, int8_t channel = 1);
  // A word of up to 8 bits is one event. A wider one goes out from its top in
  // pieces, the first holding what is left over above whole bytes: bits 15..8
  // with width - 8 bits and then bits 7..0 for 9 to 16 bits, and for 17 to 32
  // bits the same with one more piece per further byte, so the packet engine
  // receives every bit of the word and no entry holds more than 8.
  void Data(uint32_t sampleIndex, uint32_t value, int bits, int8_t channel);
  int8_t LastChannel() const { return lastChannel_; }

  const uint32_t* words() const { return words_; }
  uint32_t start() const { return start_; }
  uint32_t end() const { return end_; }
  // Words from index 0 that exist to be read, for decoders that read ahead of
  // the walk; at least end().
  uint32_t readable() const { return readable_; }
  uint32_t rate() const { return rate_; }
  // The record file, for decoders that write to it themselves; pending
  // record text is written first.
  FILE* file() {
    text_.Flush();
    return file_;
  }

 private:
  void Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void SignalEvents(uint32_t i, uint32_t now, uint32_t prev);

  struct Condition {
    uint32_t mask;
    uint8_t level;
    uint8_t code;
  };
  static constexpr int kMaxConditions = 14;  // START and END of seven slots

  const uint32_t* words_ = nullptr;
  uint32_t start_ = 0;
  uint32_t end_ = 0;
  uint32_t readable_ = 0;
  uint32_t stopIndex_ = 0;
  uint32_t rate_ = 0;
  FILE* file_ = nullptr;
  RecordBuffer text_;
  char* errorText_ = nullptr;
  bool feeding_ = false;
  int8_t lastChannel_ = 1;
  Condition conditions_[kMaxConditions] = {};
  int conditionCount_ = 0;
  uint32_t conditionChannels_ = 0;
};

template <class CatchUp, class Step>
void DecoderRun::Walk(uint32_t channels, CatchUp&& catchUp, Step&& step) {
  stopIndex_ = start_;
  if (start_ >= end_) return;
  const uint32_t* w = words_;
  step(start_, w[start_], w[start_]);
  const uint32_t mask = channels | conditionChannels_;
  const bool everySample = CurrentWalkMode() == WalkMode::kEverySample;
  for (uint32_t i = start_ + 1;; ++i) {
    if (!everySample) i = NextChange(w, i, end_, mask);
    if (i >= end_) break;
    catchUp(i);
    const uint32_t now = w[i];
    const uint32_t prev = w[i - 1];
    if (conditionCount_ && ((now ^ prev) & 0xFFFFu)) SignalEvents(i, now, prev);
    step(i, now, prev);
  }
  catchUp(end_);
  stopIndex_ = end_;
}

}  // namespace tqla::decoders
