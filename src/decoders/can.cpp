// The CAN decoder: frames found by their start of frame, each bit sampled at
// three quarters of its bit time with resynchronisation on recessive-to-
// dominant edges, stuff bits removed, one record line per frame.
#include <cstring>
#include <vector>

#include "decoders/decoder_frame.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

// A frame longer than this is not CAN but noise.
constexpr size_t kRawBitRoom = 100000;
// Seven equal bits end a frame: recessive ones complete it (end of frame),
// dominant ones break it (error or overload flag).
constexpr int kEndRun = 7;
// After five equal bits the transmitter inserts one of the other level.
constexpr int kStuffRun = 5;
// The acknowledge slot, its delimiter and the end of frame carry no stuff bits.
constexpr size_t kUnstuffedTail = 9;
constexpr size_t kShortestFrame = 10;
constexpr uint32_t kMaxDataBytes = 15;
constexpr int kDataShown = 8;

struct CanOptions {
  uint32_t line;
  double samplesPerBit;
  uint32_t highestId;
  uint32_t lowestId;
  bool labels;
};

struct CanFields {
  bool extended;
  uint32_t id;
  uint32_t rtr;
  uint32_t control;
  uint32_t length;
  uint8_t data[kMaxDataBytes];
  uint32_t crc;
  uint32_t ack;
};

class CanDecoder {
 public:
  CanDecoder(DecoderRun& run, const CanOptions& o) : run_(run), o_(o) {
    raw_.reserve(256);
    bits_.reserve(256);
  }

  void Run() {
    const uint32_t end = run_.end();
    uint32_t p = run_.start();
    for (;;) {
      const uint32_t sof = Find(Find(p, true), false);
      if (sof >= end) return run_.StopAt(end);
      uint32_t last = 0;
      switch (ReadFrame(sof, last)) {
        case Outcome::kRangeEnd:
          return run_.StopAt(last);
        case Outcome::kFailed:
          if (o_.labels) run_.Record(sawRecessive_ ? "[Error]\n" : "[Overload]\n");
          p = Find(last, true);
          break;
        case Outcome::kComplete:
          if (raw_.size() >= kShortestFrame) Frame(sof, last);
          p = last;
          break;
        case Outcome::kTooLong:
          p = last;
          break;
      }
    }
  }

 private:
  enum class Outcome { kComplete, kFailed, kTooLong, kRangeEnd };

  bool Recessive(uint32_t i) const { return run_.words()[i] & o_.line; }

  // The first sample from p on at the level, or the end of the range.
  uint32_t Find(uint32_t p, bool recessive) const {
    if (p >= run_.end()) return run_.end();
    if (Recessive(p) == recessive) return p;
    return run_.Seek(p + 1, run_.end(), o_.line);
  }

  // The first sample in (from, limit) that is dominant after a recessive one;
  // limit when there is none.
  uint32_t FallingEdge(uint32_t from, uint32_t limit) const {
    const uint32_t change = run_.Seek(from + 1, limit, o_.line);
    if (change >= limit || !Recessive(change)) return change;
    return run_.Seek(change + 1, limit, o_.line);
  }

  // Samples the bits of the frame that starts at sof into raw_ until seven
  // equal bits end it; last is the sample point of the final bit read.
  Outcome ReadFrame(uint32_t sof, uint32_t& last) {
    const double spb = o_.samplesPerBit;
    const double rangeEnd = static_cast<double>(run_.end()) - spb;
    raw_.clear();
    sawRecessive_ = false;
    double b = sof;
    int previous = -1;
    int run = 0;
    for (;;) {
      if (b >= rangeEnd) {
        last = static_cast<uint32_t>(b);
        return Outcome::kRangeEnd;
      }
      const auto point = static_cast<uint32_t>(b + 0.75 * spb);
      last = point;
      if (raw_.size() == kRawBitRoom) return Outcome::kTooLong;
      const int bit = Recessive(point) ? 1 : 0;
      raw_.push_back(static_cast<uint8_t>(bit));
      run = bit == previous ? run + 1 : 1;
      previous = bit;
      sawRecessive_ |= bit != 0;
      if (run == kEndRun) {
        if (!bit) return Outcome::kFailed;
        raw_.push_back(1);
        return Outcome::kComplete;
      }
      const uint64_t scanEnd = static_cast<uint64_t>(point + spb) + 1;
      const auto limit = static_cast<uint32_t>(std::min<uint64_t>(scanEnd, run_.end()));
      const uint32_t edge = FallingEdge(point, limit);
      b = edge < limit ? edge : b + spb;
    }
  }

  void Destuff() {
    bits_.clear();
    const size_t filtered = raw_.size() - kUnstuffedTail;
    uint8_t level = 1;  // as if a recessive bit came before the start of frame
    int run = 1;
    for (size_t k = 0; k < filtered; ++k) {
      const uint8_t bit = raw_[k];
      if (run == kStuffRun) {
        level = bit;
        run = 1;
        continue;
      }
      run = bit == level ? run + 1 : 1;
      level = bit;
      bits_.push_back(bit);
    }
    bits_.insert(bits_.end(), raw_.end() - kUnstuffedTail, raw_.end());
  }

  // Bits past the frame's end read as the idle bus, recessive; a remote
  // frame's data bytes are read that way from its CRC on.
  uint32_t Field(size_t& at, int width) const {
    uint32_t value = 0;
    for (int k = 0; k < width; ++k, ++at) value = value << 1 | (at < bits_.size() ? bits_[at] : 1u);
    return value;
  }

  CanFields Fields() const {
    CanFields f{};
    size_t at = 13;
    f.extended = Field(at, 1);
    at = 1;
    f.id = Field(at, 11);
    if (f.extended) {
      at = 14;
      f.id = f.id << 18 | Field(at, 18);
    } else {
      at = 12;
    }
    f.rtr = Field(at, 1);
    f.control = Field(at, 6);
    f.length = f.control & 15;
    for (uint32_t k = 0; k < f.length; ++k) f.data[k] = static_cast<uint8_t>(Field(at, 8));
    f.crc = Field(at, 15);
    Field(at, 1);  // CRC delimiter
    f.ack = Field(at, 1);
    return f;
  }

  void Frame(uint32_t sof, uint32_t last) {
    Destuff();
    run_.Control(sof, 1);
    for (uint8_t bit : bits_) run_.Data(sof, bit, 1, 1);
    const CanFields f = Fields();
    if (f.id <= o_.highestId && f.id >= o_.lowestId) Record(sof, f);
    run_.Control(last, 2);
  }

  void Record(uint32_t sof, const CanFields& f) {
    char line[160];
    int n;
    if (f.extended) {
      n = std::snprintf(line, sizeof line, o_.labels ? "29-bitID:%08X,RTR:%d,Control:%02X," : "%08X,%d,%02X,", f.id,
                        f.rtr, f.control);
    } else {
      n = std::snprintf(line, sizeof line, o_.labels ? "11-bitID:%03X,RTR:%d,Control:%02X," : "%03X,%d,%02X,", f.id,
                        f.rtr, f.control);
    }
    if (f.length != 0) {
      if (o_.labels) n += std::snprintf(line + n, sizeof line - n, "Data:");
      for (uint32_t k = 0; k < kDataShown; ++k) {
        n += k < f.length ? std::snprintf(line + n, sizeof line - n, "%02X,", f.data[k])
                          : std::snprintf(line + n, sizeof line - n, ",");
      }
    }
    std::snprintf(line + n, sizeof line - n, o_.labels ? "CRC:%04X,ACK:%d\n" : "%04X,%d\n", f.crc, f.ack);
    run_.Record("%s %s, %s", run_.Timestamp(sof), decoderState.DecoderName, line);
  }

  DecoderRun& run_;
  const CanOptions o_;
  std::vector<uint8_t> raw_;
  std::vector<uint8_t> bits_;
  bool sawRecessive_ = false;
};

}  // namespace

extern "C" {

// Fails as DecodeI2C does ("No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file"), and with "Unsupported bit rate %u"
// for a bit rate of 0 or one that leaves fewer than two samples per bit. The
// last-but-one and last arguments before the protocol file are accepted and
// not used. Where the data length says more bytes than the frame carries (a
// remote frame, or a length above 8), bits past the frame's end read as
// recessive. A frame still going after 100000 bits is noise: it is dropped
// and the search goes on from where it stopped. The frame end event (code 2)
// carries the sample point of the bit that completed the frame.
int32_t TQLA_API DecodeCAN(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, uint32_t rate,
                           uint32_t channel, uint32_t bitRate, uint32_t highestId, uint32_t lowestId, int32_t,
                           int32_t labels, int32_t, char* protocolFile, char* packetFile, char* errorText) {
  return GuardedDecoder("DecodeCAN", errorText, [&]() -> int32_t {
    const uint32_t sampleRate = SampleRateOfCode(static_cast<int32_t>(rate));
    if (samples && sampleRate && (bitRate == 0 || bitRate > sampleRate / 2)) {
      if (errorText) std::snprintf(errorText, kErrorTextSize, "Unsupported bit rate %u", bitRate);
      return 0;
    }
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, static_cast<int32_t>(rate), protocolFile, packetFile, errorText}))
      return 0;
    const CanOptions options{ChannelMask(channel), static_cast<double>(sampleRate) / bitRate, highestId, lowestId,
                             labels != 0};
    CanDecoder(run, options).Run();
    return run.Finish();
  });
}

}  // extern "C"
