// DecodeUSB: low- and full-speed packets from D+ and D- as record text, a
// transaction (token, data, handshake) to a line, and every packet's bits to
// the packet engine.
#include <cstring>
#include <memory>

#include "decoders/decoder_frame.h"
#include "decoders/usb_link.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;
using namespace tqla::decoders::usb;

namespace {

constexpr uint32_t kTokenBits = 32;
constexpr uint32_t kHandshakeBits = 16;

struct UsbOptions {
  uint32_t endpointFilter;
  uint32_t addressFilter;
  bool showSof;
  bool comma;
  bool text;
  bool hexadecimal;
};

class UsbRecorder {
 public:
  UsbRecorder(DecoderRun& run, const UsbOptions& o) : run_(run), o_(o) {}

  void Run(const LinkOptions& link) {
    LinkReader<uint32_t> reader(run_.words(), run_.start(), run_.end(), link);
    auto raw = std::make_unique<RawPacket>();
    for (;;) {
      const LinkEvent event = reader.Next(*raw);
      if (event == LinkEvent::kEnd) break;
      if (event == LinkEvent::kReset && o_.text) run_.Record("USB RESET\n");
      if (event == LinkEvent::kAbandoned) setupSeen_ = false;
      Packet packet;
      if (event == LinkEvent::kPacket && Align(*raw, packet)) Decoded(packet, raw->first, raw->resume);
    }
    run_.StopAt(reader.position());
  }

 private:
  bool Shown() const {
    return (o_.endpointFilter == kAny || o_.endpointFilter == endpoint_) &&
           (o_.addressFilter == kAny || o_.addressFilter == address_);
  }

  void Bits(const Packet& p, uint32_t at, uint32_t count) {
    for (uint32_t k = 0; k < count && k < p.count; ++k) run_.Data(at, p.bits[k], 1, 1);
  }

  void Header(uint32_t first) { run_.Record("%s %s, ", run_.Timestamp(first), decoderState.DecoderName); }

  void Decoded(const Packet& p, uint32_t first, uint32_t resume) {
    switch (p.pid) {
      case kSetup:
      case kOut:
      case kIn: return Token(p, first, resume);
      case kSof:
        if (o_.showSof && o_.text && Shown()) {
          Header(first);
          run_.Record("SOF   %d\n", static_cast<int>(p.FrameNumber()));
        }
        return;
      case kData0:
      case kData1: return Data(p, first, resume);
      case kAck:
      case kNak:
      case kStall:
        Bits(p, resume, kHandshakeBits);
        run_.Control(resume, 2);
        if (o_.text && Shown()) run_.Record(p.pid == kAck ? "ACK \n" : p.pid == kNak ? "NAK \n" : "STALL \n");
        return;
    }
  }

  void Token(const Packet& p, uint32_t first, uint32_t resume) {
    address_ = p.Address();
    endpoint_ = p.Endpoint();
    if (p.pid == kSetup) setupSeen_ = true;
    run_.Control(resume, 4);
    run_.Control(resume, 1);
    Bits(p, resume, kTokenBits);
    if (!o_.text || !Shown()) return;
    if (p.pid == kSetup) run_.Record("\n");
    Header(first);
    run_.Record("%s Add:%d  EndPoint:%d ", p.pid == kSetup ? "SETUP " : p.pid == kOut ? "OUT   " : "IN    ",
                static_cast<int>(address_), static_cast<int>(endpoint_));
  }

  void Data(const Packet& p, uint32_t, uint32_t resume) {
    Bits(p, resume, p.count);
    const bool request = setupSeen_;
    setupSeen_ = false;
    if (!Shown()) return;
    char line[kRecordTextSize];
    size_t n = 0;
    if (o_.text) {
      if (request) RequestText(p, line, sizeof line);
      n = request ? std::strlen(line) : 0;
      n += std::snprintf(line + n, sizeof line - n, p.pid == kData0 ? "DATA0 " : "DATA1 ");
    }
    static const char* const kFormats[2][2] = {{"%3d ", "%02X "}, {"%3d,", "%02X,"}};
    const char* format = kFormats[o_.comma][o_.hexadecimal];
    const uint32_t bytes = p.count < kLongestShownPayload ? p.PayloadBytes() : 0;
    for (uint32_t k = 0; k < bytes && n + 8 < sizeof line; ++k) {
      n += std::snprintf(line + n, sizeof line - n, format, p.PayloadByte(k));
    }
    std::snprintf(line + n, sizeof line - n, o_.text ? " " : "\n");
    run_.Record("%s", line);
  }

  DecoderRun& run_;
  const UsbOptions o_;
  uint32_t address_ = kAny;
  uint32_t endpoint_ = kAny;
  bool setupSeen_ = false;
};

}  // namespace

extern "C" {

// Fails as DecodeI2C does ("No sample words to decode", "Unknown sample rate
// code %d", "Can not open output file"), and with "Full speed needs a sample
// rate of 24 MHz" or "Low speed needs a sample rate of 3 MHz or more": fewer
// than two samples per bit cannot be decoded. Packets whose SYNC is not found
// are ignored like unknown identifiers. A SETUP always arms the request text
// of the next data packet, shown or not; every data packet disarms it. A
// single-ended one (both lines high) reads as a 1 bit. A stuffed bit that is
// not the expected transition is dropped all the same. Setup payloads shorter
// than eight bytes read 0 for the missing request bytes.
int32_t TQLA_API DecodeUSB(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, int32_t sampleCount,
                           int32_t endpointFilter, int32_t addressFilter, int32_t dPlusChannel, int32_t dMinusChannel,
                           int32_t fullSpeed, int32_t rate, int32_t showSof, int32_t delimiter, int32_t text,
                           int32_t hexadecimal, char* protocolFile, char* packetFile, char* errorText) {
  return GuardedDecoder("DecodeUSB", errorText, [&]() -> int32_t {
    const uint32_t sampleRate = SampleRateOfCode(rate);
    if (samples && sampleRate && sampleRate < LowestSampleRate(fullSpeed != 0)) {
      if (errorText) {
        std::snprintf(errorText, kErrorTextSize, "%s", fullSpeed ? "Full speed needs a sample rate of 24 MHz"
                                                                 : "Low speed needs a sample rate of 3 MHz or more");
      }
      return 0;
    }
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, rate, protocolFile, packetFile, errorText})) return 0;
    run.LimitEnd(sampleCount > 0 ? static_cast<uint32_t>(sampleCount - 1) : 0);
    const UsbOptions options{static_cast<uint32_t>(endpointFilter), static_cast<uint32_t>(addressFilter),
                             showSof != 0, delimiter == 1, text != 0, hexadecimal != 0};
    UsbRecorder(run, options)
        .Run({ChannelMask(static_cast<uint32_t>(dPlusChannel)), ChannelMask(static_cast<uint32_t>(dMinusChannel)),
              fullSpeed != 0, sampleRate});
    return run.Finish();
  });
}

}  // extern "C"
