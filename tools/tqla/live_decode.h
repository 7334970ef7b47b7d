// Decoding a stream while it runs: samples come in blocks, record lines go
// out as soon as they are complete, each exactly once and as decoding the
// whole stream afterwards would write it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bus_decoders.h"
#include "decoder_spec.h"

namespace tqla::cli {

// The timestamp text of a record header for sample (counted from the
// stream's first sample) at rateHz: "%5.1fns,", "%5.1fus,", "%8.4fms," or
// "%11.7fs ," by its size, as the decoders write it.
std::string RecordTimestamp(uint64_t sample, uint32_t rateHz);

// Runs each decoder over a window of the stream that starts where its last
// record line left off: a line is printed once a later one has begun (or the
// bus has been quiet for a while after it), and the next run starts a sample
// before the line that was held back, so the decoder meets every line from
// its beginning, with its state and its grouping of values into lines as a
// run over the whole stream would have them. Lines carry the decoder's name
// (its label unless name= is given) and times from the stream's first
// sample; a line longer than 16 M samples comes out in pieces.
class LiveDecoder {
 public:
  // Lines go to out, flushed one at a time. Throws CliError for a rate the
  // decoders do not take.
  LiveDecoder(std::vector<DecoderSpec> specs, uint32_t rateHz, std::FILE* out);

  // The next samples of the stream: one byte per sample (bit n = channel n),
  // or whole sample words.
  void Add(const uint8_t* bytes, size_t count);
  void Add(const uint32_t* words, size_t count);
  // Decodes what has come in since the last run; with force even when that
  // is only a little.
  void Decode(bool force = false);
  // Decodes the rest and prints every line still held back.
  void Finish();

  uint64_t linesPrinted() const { return printed_; }

 private:
  struct Track {
    DecoderSpec spec;
    uint64_t resume = 0;  // stream sample the next run starts at
    uint64_t lead = 1;    // samples before a held line the next run starts
    uint64_t quiet = 0;   // samples without a line after which the bus is idle
  };
  struct Line {
    uint64_t first, last;
    std::string text;
  };
  void Run(Track& track, bool finishing, std::vector<Line>& out);
  void Drop();

  std::vector<Track> tracks_;
  uint32_t rateHz_;
  int32_t rateCode_;
  std::FILE* out_;
  std::vector<uint32_t> window_;  // stream samples from base_
  uint64_t base_ = 0;
  uint64_t decodedTo_ = 0;  // stream samples the last run saw
  uint64_t printed_ = 0;
  TemporaryRecordFile record_;  // the runs' record files, unread
};

}  // namespace tqla::cli
