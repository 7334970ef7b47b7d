// Recovering USB packets from the D+ and D- lines, shared by the record
// decoder over sample words and the older one over byte samples: the search
// for activity, NRZI bits at low or full speed, bit stuffing, the end of
// packet and bus resets. Then the packet's SYNC, identifier and fields, and
// the text of standard device requests.
//
// Low-speed bit timing counts in exact fractions of a sample (units of one
// over the bit rate), so a packet's bits fall on the same samples whether the
// walk jumps between line changes or looks at every sample.
//
// After an end of packet the search goes on one bit time and a sample after
// the first sample past its SE0, not after the sample where the SE0 was first
// seen: SE0 lasts two bit times on a real bus, and resuming inside it would
// take the J that follows for the start of a packet and swallow the next one.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "decoders/decoder_frame.h"

namespace tqla::decoders::usb {

constexpr uint32_t kSymbolRoom = 9000;
constexpr int64_t kLowSpeedBitRate = 1500000;
constexpr int64_t kFullSpeedBitRate = 12000000;
// SE0 still there this many samples after it was seen is a bus reset.
constexpr uint32_t kResetSamples = 100;
// Six ones in a row are followed by a stuffed bit.
constexpr int kStuffRun = 6;
// A data packet this long (in bits) shows no payload in records.
constexpr uint32_t kLongestShownPayload = 5000;
// No token seen yet; also the filter value that accepts everything.
constexpr uint32_t kAny = 999;

enum Pid : uint8_t {
  kSetup = 0x2D,
  kOut = 0xE1,
  kIn = 0x69,
  kSof = 0xA5,
  kData0 = 0xC3,
  kData1 = 0x4B,
  kAck = 0xD2,
  kNak = 0x5A,
  kStall = 0x1E,
};

struct LinkOptions {
  uint32_t dPlus;
  uint32_t dMinus;
  bool fullSpeed;
  uint32_t sampleRate;
};

// The lowest sample rate that gives two samples per bit.
constexpr uint32_t LowestSampleRate(bool fullSpeed) {
  return static_cast<uint32_t>(2 * (fullSpeed ? kFullSpeedBitRate : kLowSpeedBitRate));
}

enum class LinkEvent { kPacket, kReset, kAbandoned, kEnd };

// One packet's de-stuffed bits as recovered, before the SYNC is checked.
struct RawPacket {
  uint32_t first = 0;   // the packet's first sample
  uint32_t resume = 0;  // where the search goes on, just after the packet
  uint32_t count = 0;
  // Bit k of the packet is bits[k + 1]; bits[0] takes a lost first SYNC bit.
  uint8_t bits[kSymbolRoom + 1] = {};
};

template <class Word>
class LinkReader {
 public:
  LinkReader(const Word* words, uint32_t start, uint32_t end, const LinkOptions& o)
      : w_(words),
        limit_(end > 0 ? end - 1 : 0),
        mask_(o.dPlus | o.dMinus),
        dPlus_(o.dPlus),
        dMinus_(o.dMinus),
        fullSpeed_(o.fullSpeed),
        rate_(o.sampleRate),
        samplesPerBit_(static_cast<double>(o.sampleRate) / (o.fullSpeed ? kFullSpeedBitRate : kLowSpeedBitRate)),
        p_(start) {}

  // The next thing the line shows; packets of no bits (keep-alives) are
  // passed over.
  LinkEvent Next(RawPacket& packet) {
    for (;;) {
      if (p_ >= limit_) return LinkEvent::kEnd;
      const uint32_t first = SeekChange(w_, p_ + 1, limit_, mask_);
      if (first >= limit_) {
        p_ = limit_;
        return LinkEvent::kEnd;
      }
      packet.first = first;
      packet.count = 0;
      symbols_ = 0;
      ones_ = 0;
      previousDPlus_ = (w_[p_] & dPlus_) != 0;
      const LinkEvent event = fullSpeed_ ? FullSpeed(packet) : LowSpeed(packet);
      if (event != LinkEvent::kPacket || symbols_ > 0) return event;
    }
  }

  // Where the reader is: the search's position, or where the run ended.
  uint32_t position() const { return p_; }

 private:
  enum class Take { kBit, kEndOfBits, kAbandon };
  static constexpr uint8_t kSe0 = 0;
  static constexpr uint8_t kSe1 = 3;
  static constexpr uint8_t kDPlusHigh = 2;
  static constexpr uint8_t kDMinusHigh = 1;

  uint8_t State(uint32_t i) const {
    return static_cast<uint8_t>(((w_[i] & dPlus_) ? kDPlusHigh : 0) | ((w_[i] & dMinus_) ? kDMinusHigh : 0));
  }

  LinkEvent End() {
    p_ = limit_;
    return LinkEvent::kEnd;
  }

  // The search goes on at sample at, comparing against that sample's levels.
  void ResumeAt(double at) { p_ = at >= limit_ ? limit_ : static_cast<uint32_t>(at); }

  Take TakeSample(RawPacket& packet, uint8_t state) {
    if (state == kSe0) return Take::kEndOfBits;
    const bool dPlus = state & kDPlusHigh;
    const bool one = state == kSe1 || dPlus == previousDPlus_;  // NRZI: no transition is a 1
    previousDPlus_ = dPlus;
    if (++symbols_ > kSymbolRoom) return Take::kAbandon;
    if (ones_ == kStuffRun) {
      ones_ = 0;
      return Take::kBit;
    }
    packet.bits[1 + packet.count++] = one ? 1 : 0;
    ones_ = one ? ones_ + 1 : 0;
    return Take::kBit;
  }

  LinkEvent Abandon(double at) {
    ResumeAt(at);
    return LinkEvent::kAbandoned;
  }

  // Bits at low speed: a phase counter restarted at half a bit time and a
  // sample at every change of the line state gives a bit each time it
  // reaches a bit time. Between changes the line holds its state, so the bits
  // there are counted, not walked. The phase counts in units of one bit-rate-th
  // of a sample: a sample is kLowSpeedBitRate of them, a bit the sample rate.
  LinkEvent LowSpeed(RawPacket& packet) {
    const int64_t bitTime = rate_;
    const int64_t step = kLowSpeedBitRate;
    const int64_t restart = bitTime / 2 + step;
    uint32_t i = packet.first;
    uint8_t state = State(i);
    int64_t phase = restart;
    for (;;) {
      const uint32_t next = SeekChange(w_, i + 1, limit_, mask_);
      for (;;) {
        const int64_t wait = phase >= bitTime ? 0 : (bitTime - phase + step - 1) / step;
        if (static_cast<int64_t>(i) + wait >= next) break;
        i += static_cast<uint32_t>(wait);
        phase += wait * step - bitTime;
        switch (TakeSample(packet, state)) {
          case Take::kEndOfBits: return EndOfBits(packet, i);
          case Take::kAbandon: return Abandon(i + 2.6 * samplesPerBit_);
          case Take::kBit: break;
        }
      }
      if (next >= limit_) return End();
      i = next;
      state = State(i);
      phase = restart;
    }
  }

  // Bits at full speed: one per bit time from the first change, each from
  // one of two neighbouring samples, whichever shows the bit rather than the
  // edge or a single-ended moment.
  LinkEvent FullSpeed(RawPacket& packet) {
    const uint32_t lastFirst = limit_ >= 2 ? limit_ - 2 : 0;  // end - 3
    double pos = packet.first;
    if (packet.first >= lastFirst) return End();
    pos += AlignmentShift(packet.first);
    for (;;) {
      const auto a = static_cast<uint32_t>(pos);
      if (a >= lastFirst) return End();
      const uint8_t sa = State(a);
      const uint8_t sb = State(a + 1);
      uint32_t taken = a;
      if (sa == kSe0 || sa == kSe1) {
        taken = a + 1;
      } else if ((sa ^ sb) == 3 && static_cast<bool>(sa & kDPlusHigh) == previousDPlus_) {
        taken = a + 1;
      }
      switch (TakeSample(packet, taken == a ? sa : sb)) {
        case Take::kEndOfBits: return EndOfBits(packet, taken);
        case Take::kAbandon: return Abandon(pos + samplesPerBit_);
        case Take::kBit: break;
      }
      pos += samplesPerBit_;
    }
  }

  // Before the first full-speed bit: one sample later when the first change
  // lasts a single sample on a line.
  int AlignmentShift(uint32_t a) const {
    const uint8_t l0 = State(a), l1 = State(a + 1), l2 = State(a + 2);
    if ((l0 ^ l1) == 3) return 0;
    for (const uint8_t line : {kDPlusHigh, kDMinusHigh}) {
      const bool x0 = l0 & line, x1 = l1 & line, x2 = l2 & line;
      if (x0 == x1 && x1 != x2) return 0;
      if (x1 == x2 && x0 != x1) return 1;
    }
    return 0;
  }

  // SE0 seen at sample at: the end of the packet, or a bus reset when it
  // lasts.
  LinkEvent EndOfBits(RawPacket& packet, uint32_t at) {
    uint32_t leaves = SeekChange(w_, at + 1, limit_, mask_);
    if (leaves - at > kResetSamples + 1) return Reset(at, leaves);
    if (leaves >= limit_) return End();
    ResumeAt(leaves + samplesPerBit_ + 1);
    packet.resume = p_;
    return LinkEvent::kPacket;
  }

  // Follows the reset in steps of one bit time until a line is high again.
  LinkEvent Reset(uint32_t at, uint32_t leaves) {
    double pos = at;
    for (;;) {
      const auto i = static_cast<uint32_t>(std::min<double>(pos, limit_));
      if (i >= limit_) {
        p_ = limit_;
        return LinkEvent::kReset;
      }
      if (i < leaves) {
        pos += std::max(1.0, std::ceil((leaves - pos) / samplesPerBit_)) * samplesPerBit_;
      } else if (State(i) != kSe0) {
        p_ = i;
        return LinkEvent::kReset;
      } else {
        leaves = SeekChange(w_, i + 1, limit_, mask_);
      }
    }
  }

  const Word* w_;
  const uint32_t limit_;  // end - 1: the search and the bits stop there
  const uint32_t mask_;
  const uint32_t dPlus_;
  const uint32_t dMinus_;
  const bool fullSpeed_;
  const int64_t rate_;
  const double samplesPerBit_;
  uint32_t p_;
  uint32_t symbols_ = 0;
  int ones_ = 0;
  bool previousDPlus_ = false;
};

// A recovered packet with its SYNC found: bit 0 is the first SYNC bit.
struct Packet {
  const uint8_t* bits = nullptr;
  uint32_t count = 0;
  uint8_t pid = 0;

  uint32_t Bit(uint32_t k) const { return k < count ? bits[k] : 0u; }
  // width bits from bit at, least significant first; bits past the end read 0.
  uint32_t Field(uint32_t at, int width) const {
    uint32_t value = 0;
    for (int k = 0; k < width; ++k) value |= Bit(at + k) << k;
    return value;
  }
  uint32_t Address() const { return Field(16, 7); }
  uint32_t Endpoint() const { return Field(23, 4); }
  uint32_t FrameNumber() const { return Field(16, 11); }
  // The data bytes between the identifier and the CRC16.
  uint32_t PayloadBytes() const { return count >= 32 ? (count - 32) / 8 : 0; }
  uint8_t PayloadByte(uint32_t k) const { return k < PayloadBytes() ? static_cast<uint8_t>(Field(16 + 8 * k, 8)) : 0; }
};

// Finds the SYNC, also with its first bit lost (then every bit moves one
// place later and the last drops off); false when there is none.
bool Align(RawPacket& raw, Packet& packet);

// The text of a standard device request from a setup packet's payload
// (bytes past the payload read 0); empty for other requests.
void RequestText(const Packet& data, char* text, size_t size);

}  // namespace tqla::decoders::usb
