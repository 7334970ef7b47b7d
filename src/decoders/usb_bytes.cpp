// USBDecode: the older USB decoder over one byte per sample, writing "usb.txt"
// with millisecond times and handing the data payloads to the caller.
#include <algorithm>
#include <cstring>
#include <memory>

#include "decoders/decoder_frame.h"
#include "decoders/usb_link.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;
using namespace tqla::decoders::usb;

namespace {

struct ByteOptions {
  uint32_t endpointFilter;
  uint32_t addressFilter;
  bool showSof;
  uint32_t sampleRate;
};

// Where the payloads go: each data packet's time, then its bytes, as long as
// there is room.
struct PayloadSink {
  uint8_t* bytes;
  uint32_t size;
  uint32_t stored = 0;
  void Put(uint8_t byte) {
    if (bytes && stored < size) bytes[stored++] = byte;
  }
};

class ByteRecorder {
 public:
  ByteRecorder(FILE* file, const ByteOptions& o, PayloadSink& sink) : file_(file), o_(o), sink_(sink) {}

  void Run(const uint8_t* samples, uint32_t start, uint32_t end, const LinkOptions& link) {
    LinkReader<uint8_t> reader(samples, start, end, link);
    auto raw = std::make_unique<RawPacket>();
    for (;;) {
      const LinkEvent event = reader.Next(*raw);
      if (event == LinkEvent::kEnd) return;
      if (event == LinkEvent::kReset) WriteRecordText(file_, "USB RESET\n");
      if (event == LinkEvent::kAbandoned) setupSeen_ = false;
      Packet packet;
      if (event == LinkEvent::kPacket && Align(*raw, packet)) Decoded(packet, raw->first);
    }
  }

 private:
  bool Shown() const {
    return (o_.endpointFilter == kAny || o_.endpointFilter == endpoint_) &&
           (o_.addressFilter == kAny || o_.addressFilter == address_);
  }

  // The packet type by the identifier's four type bits alone.
  void Decoded(const Packet& p, uint32_t first) {
    const uint32_t time = static_cast<uint32_t>(uint64_t{first} * 1000 / o_.sampleRate);
    const uint8_t type = p.pid & 0x0F;
    if (type == (kSetup & 0x0F) || type == (kOut & 0x0F) || type == (kIn & 0x0F)) {
      address_ = p.Address();
      endpoint_ = p.Endpoint();
      if (type == (kSetup & 0x0F)) setupSeen_ = true;
      if (!Shown()) return;
      const char* label = type == (kSetup & 0x0F) ? " \n%010d SETUP " : type == (kOut & 0x0F) ? " %010d OUT   " : " %010d IN    ";
      WriteRecordText(file_, label, static_cast<int>(time));
      WriteRecordText(file_, " Add:%d  EndPoint:%d ", static_cast<int>(address_), static_cast<int>(endpoint_));
    } else if (type == (kSof & 0x0F)) {
      if (o_.showSof && Shown()) WriteRecordText(file_, " %010d SOF   %d", static_cast<int>(time), static_cast<int>(p.FrameNumber()));
    } else if (type == (kData0 & 0x0F) || type == (kData1 & 0x0F)) {
      Data(p, type == (kData0 & 0x0F), time);
    } else if (Shown()) {
      WriteRecordText(file_, "%s", type == (kAck & 0x0F)     ? "ACK \n"
                                   : type == (kNak & 0x0F)   ? "NAK \n"
                                   : type == (kStall & 0x0F) ? "STALL \n"
                                                             : "Invalid Token \n");
    }
  }

  void Data(const Packet& p, bool data0, uint32_t time) {
    const bool request = setupSeen_;
    setupSeen_ = false;
    if (!Shown()) return;
    char line[kRecordTextSize];
    size_t n = 0;
    if (request) {
      RequestText(p, line, sizeof line);
      n = std::strlen(line);
    }
    n += std::snprintf(line + n, sizeof line - n, data0 ? "DATA0 " : "DATA1 ");
    const uint32_t bytes = p.PayloadBytes();
    const uint32_t shown = p.count < kLongestShownPayload ? bytes : 0;
    for (uint32_t k = 0; k < shown && n + 8 < sizeof line; ++k) {
      n += std::snprintf(line + n, sizeof line - n, "%02X ", p.PayloadByte(k));
    }
    std::snprintf(line + n, sizeof line - n, " ");
    WriteRecordText(file_, "%s", line);
    for (int shift = 0; shift < 32; shift += 8) sink_.Put(static_cast<uint8_t>(time >> shift));
    for (uint32_t k = 0; k < bytes; ++k) sink_.Put(p.PayloadByte(k));
  }

  FILE* file_;
  const ByteOptions o_;
  PayloadSink& sink_;
  uint32_t address_ = kAny;
  uint32_t endpoint_ = kAny;
  bool setupSeen_ = false;
};

constexpr uint32_t BitMask(int32_t bit) { return bit >= 0 && bit < 8 ? 1u << bit : 0u; }

}  // namespace

extern "C" {

// Returns 0 without touching "usb.txt" for null samples, a sample count below
// 1, a rate code outside the table or one too slow for the speed (two samples
// per bit: 3 MHz at low speed, 24 MHz at full speed); 0 also when "usb.txt"
// cannot be created. D+ and D- bits outside 0-7 read as a line that is never
// high. The payload buffer receives every payload byte of a shown data packet
// while it has room, also those of packets too long to show their bytes.
// RecordOffset counts the bytes of "usb.txt", as it does a record file's.
int32_t TQLA_API USBDecode(uint8_t* samples, int32_t sampleCount, int32_t endpointFilter, int32_t addressFilter,
                           uint8_t* payload, int32_t payloadSize, int32_t start, int32_t end, int32_t dPlusBit,
                           int32_t dMinusBit, int32_t fullSpeed, int32_t rate, int32_t showSof) {
  return Guarded<int32_t>("USBDecode", 0, [&]() -> int32_t {
    const uint32_t sampleRate = SampleRateOfCode(rate);
    if (!samples || sampleCount < 1 || sampleRate < LowestSampleRate(fullSpeed != 0)) {
      Fail("USBDecode: %s", !samples || sampleCount < 1 ? "no samples" : "a rate code too slow for the speed, or outside the table");
      return 0;
    }
    int64_t first = start, last = end;
    if (last < first) std::swap(first, last);
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, sampleCount - 1);
    last = std::max(last, first);
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen("usb.txt", "wb"), &std::fclose);
    if (!file) {
      FailText("USBDecode: Can not open output file usb.txt");
      return 0;
    }
    ResetRecordOffset();
    if (addressFilter == static_cast<int32_t>(kAny)) {
      WriteRecordText(file.get(), "Showing all address\n");
    } else {
      WriteRecordText(file.get(), "Showing only device address %d\n", addressFilter);
    }
    PayloadSink sink{payload, payloadSize > 0 ? static_cast<uint32_t>(payloadSize) : 0u};
    ByteRecorder recorder(file.get(), {static_cast<uint32_t>(endpointFilter), static_cast<uint32_t>(addressFilter),
                                 showSof != 0, sampleRate},
                          sink);
    recorder.Run(samples, static_cast<uint32_t>(first), static_cast<uint32_t>(last),
                 {BitMask(dPlusBit), BitMask(dMinusBit), fullSpeed != 0, sampleRate});
    return static_cast<int32_t>(sink.stored);
  });
}

}  // extern "C"
