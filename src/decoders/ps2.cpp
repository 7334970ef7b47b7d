// The PS/2 decoder: one record line per byte, device-to-host frames read at
// falling clock edges, host-to-device frames at rising ones, followed edge by
// edge from the clock's first fall.
#include "decoders/decoder_frame.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

constexpr int kDataEdges = 16;  // a fall and a rise per data bit

struct Ps2Lines {
  uint32_t data;
  uint32_t clock;
  bool msbFirst;
};

struct Ps2Frame {
  bool host;
  uint32_t first;
  uint8_t value;
  bool start;
  bool parity;
  bool stop;
  bool ack;
};

class Ps2Decoder {
 public:
  Ps2Decoder(DecoderRun& run, const Ps2Lines& l) : run_(run), l_(l) {}

  void Run() {
    uint32_t p = run_.start();
    checked_ = p;
    while (Search(p)) {
      Ps2Frame frame{};
      if (!ReadFrame(frame, p)) break;
      Output(frame, p);
    }
    run_.StopAt(stop_);
  }

 private:
  bool Data(uint32_t i) const { return run_.words()[i] & l_.data; }
  bool Clock(uint32_t i) const { return run_.words()[i] & l_.clock; }

  // Signal events belong to the search only: each sample once, up to last.
  void SearchedThrough(uint32_t last) {
    if (last < checked_) return;
    run_.SignalEventsThrough(checked_, last);
    checked_ = last + 1;
  }

  // From p, the first clock fall that starts a frame; false at the range's
  // end. On success p is the frame's first sample and host_ its direction.
  bool Search(uint32_t& p) {
    const uint32_t end = run_.end();
    if (p >= end) return Finished(end);
    for (;;) {
      const uint32_t fall = Clock(p) ? run_.Seek(p + 1, end, l_.clock) : p;
      if (fall >= end) return Finished(end - 1);
      SearchedThrough(fall);
      if (!Data(fall > run_.start() ? fall - 1 : fall)) {
        host_ = false;
        p = fall;
        return true;
      }
      // Clock held low: a request to send when data falls before the clock
      // rises. Both in one sample is the host releasing the clock right
      // after pulling data low, so it counts as a request too.
      const uint32_t moved = Data(fall) ? run_.Seek(fall + 1, end, l_.clock | l_.data) : fall;
      if (moved >= end) return Finished(end - 1);
      SearchedThrough(moved);
      p = moved;
      if (!Data(moved)) {
        host_ = true;
        return true;
      }
    }
  }

  bool Finished(uint32_t last) {
    SearchedThrough(last);
    stop_ = run_.end();
    return false;
  }

  // The next change of the clock after sample at; false when the range ends
  // first (its last sample counts as the end).
  bool NextEdge(uint32_t& at) {
    const uint32_t limit = run_.end() > 0 ? run_.end() - 1 : 0;
    const uint32_t edge = run_.Seek(at + 1, limit, l_.clock);
    if (edge >= limit) {
      stop_ = limit;
      return false;
    }
    at = edge;
    return true;
  }

  bool Edges(uint32_t& at, int count) {
    for (int k = 0; k < count; ++k) {
      if (!NextEdge(at)) return false;
    }
    return true;
  }

  // Data bits at every second edge from at, which is the edge before the first.
  bool Byte(uint32_t& at, uint8_t& value) {
    for (int k = 0; k < kDataEdges / 2; ++k) {
      if (!Edges(at, 2)) return false;
      if (l_.msbFirst) {
        value = static_cast<uint8_t>(value << 1 | (Data(at) ? 1 : 0));
      } else {
        value = static_cast<uint8_t>(value >> 1 | (Data(at) ? 0x80 : 0));
      }
    }
    return true;
  }

  // Reads the frame that starts at p; on success p is the edge after its last
  // bit, where the search goes on.
  bool ReadFrame(Ps2Frame& f, uint32_t& p) {
    f.host = host_;
    f.first = p;
    uint32_t at = p;
    if (f.host) {
      if (!Clock(at) && !NextEdge(at)) return false;  // the host releases the clock
      f.start = Data(at);
    }
    if (!Byte(at, f.value)) return false;
    if (!Edges(at, 2)) return false;
    f.parity = Data(at);
    if (!Edges(at, 2)) return false;
    f.stop = Data(at);
    if (f.host) {
      if (!NextEdge(at)) return false;
      f.ack = Data(at);
    }
    if (!NextEdge(at)) return false;
    p = at;
    checked_ = at;
    return true;
  }

  void Output(const Ps2Frame& f, uint32_t resume) {
    const int8_t channel = f.host ? 2 : 1;
    run_.Control(resume, f.host ? 2 : 1, channel);
    run_.Data(resume, f.value, 8, channel);
    // Odd parity: the byte's ones and the parity bit make an odd count.
    const bool oddOnes = __builtin_popcount(f.value) & 1;
    const char* parity = "";
    if (oddOnes == f.parity) parity = f.parity ? ", Parity Bit Error = 1" : ", Parity Bit Error = 0";
    run_.Record("%s %s, %s%02X %s%s%s%s\n", run_.Timestamp(f.first), decoderState.DecoderName,
                f.host ? "Host:   " : "Device: ", f.value, f.host && f.start ? ", Start Bit Error" : "", parity,
                f.stop ? "" : ", Stop Bit Error", f.host && f.ack ? ", ACK Bit Error" : "");
  }

  DecoderRun& run_;
  const Ps2Lines l_;
  uint32_t checked_ = 0;  // the first sample the search has not yet checked
  uint32_t stop_ = 0;
  bool host_ = false;
};

}  // namespace

extern "C" {

// Fails as DecodeI2C does ("No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file"). The range's first sample stands in
// for the sample before it. Data falling in the same sample as the clock rises
// after a held-low clock is a host's request to send, its start bit read in
// that sample. A frame cut by the range's end, whose last sample counts as
// the end, writes and sends nothing.
int32_t TQLA_API DecodePS2(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, int32_t rate,
                           uint32_t dataChannel, uint32_t clockChannel, uint32_t msbFirst, char* protocolFile,
                           char* packetFile, char* errorText) {
  return GuardedDecoder("DecodePS2", errorText, [&]() -> int32_t {
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, rate, protocolFile, packetFile, errorText})) return 0;
    Ps2Decoder(run, {ChannelMask(dataChannel), ChannelMask(clockChannel), msbFirst != 0}).Run();
    return run.Finish();
  });
}

}  // extern "C"
