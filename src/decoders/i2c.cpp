// The I2C decoder: one record per transaction from START to STOP.
#include "decoders/decoder_frame.h"
#include "frame/export.h"

using namespace tqla;
using namespace tqla::decoders;

namespace {

struct I2cOptions {
  uint32_t sda;
  uint32_t scl;
  bool showAck;
  bool blank;
  bool markers;
  bool hexadecimal;
};

class I2cDecoder {
 public:
  I2cDecoder(DecoderRun& run, const I2cOptions& o) : run_(run), o_(o) {}

  // Everything happens on an SCL fall or on an SDA change while SCL is high,
  // so a sample where neither line changes leaves the state alone.
  void Step(uint32_t i, uint32_t now, uint32_t prev) {
    const bool sda = now & o_.sda;
    const bool scl = now & o_.scl;
    const bool prevSda = prev & o_.sda;
    const bool prevScl = prev & o_.scl;
    if (prevScl && !scl) {
      ClockFall(i, prevSda);
    } else if (prevScl && scl && prevSda != sda) {
      if (prevSda) {
        Start(i);
      } else {
        Stop(i);
      }
    }
  }

 private:
  void ClockFall(uint32_t i, bool prevSda) {
    if (ackExpected_) {
      run_.Control(i, prevSda ? 8 : 4);
      if (o_.showAck && o_.markers) run_.Record(prevSda ? "NACK " : "ACK ");
      ackExpected_ = false;
    } else if (!startSeen_ && !idle_) {
      if (prevSda) value_ += weight_;
      weight_ >>= 1;
      if (weight_ == 0) ByteComplete(i);
    }
    if (startSeen_) addressByte_ = true;
    startSeen_ = false;
    idle_ = false;
  }

  void ByteComplete(uint32_t i) {
    run_.Data(i, value_, 8, 1);
    if (o_.hexadecimal) {
      run_.Record(o_.blank ? "%02X " : "%02X,", value_);
    } else {
      run_.Record(o_.blank ? "%03d " : "%03d,", value_);
    }
    if (addressByte_ && o_.markers) run_.Record((value_ & 1) ? "Read " : "Write ");
    addressByte_ = false;
    ClearByte();
    ackExpected_ = true;
  }

  void Start(uint32_t i) {
    if (idle_) run_.Record("%s %s, ", run_.Timestamp(i), decoderState.DecoderName);
    run_.Control(i, 1);
    if (o_.markers) run_.Record("[S] ");
    startSeen_ = true;
    addressByte_ = false;
    ackExpected_ = false;
    ClearByte();
  }

  void Stop(uint32_t i) {
    run_.Control(i, 2);
    if (o_.markers) run_.Record("[P]\n");
    idle_ = true;
    addressByte_ = false;
    ackExpected_ = false;
    ClearByte();
  }

  void ClearByte() {
    value_ = 0;
    weight_ = 128;
  }

  DecoderRun& run_;
  const I2cOptions o_;
  bool idle_ = true;
  bool startSeen_ = false;
  bool addressByte_ = false;
  bool ackExpected_ = false;
  uint32_t value_ = 0;
  uint32_t weight_ = 128;
};

}  // namespace

extern "C" {

// Fails with "No sample words to decode" for null samples, "Unknown sample
// rate code %d" for a rate code outside the table (before the packet engine
// starts) and "Can not open output file" (after closing the packet engine
// again). The first sample of the range gives the previous SDA and SCL levels.
int32_t TQLA_API DecodeI2C(uint32_t* samples, uint8_t* recordFile, int32_t start, int32_t end, int32_t rate,
                           uint32_t sdaChannel, uint32_t sclChannel, int32_t showAck, int32_t delimiter,
                           int32_t showMarkers, int32_t hexadecimal, char* protocolFile, char* packetFile,
                           char* errorText) {
  return GuardedDecoder("DecodeI2C", errorText, [&]() -> int32_t {
    DecoderRun run;
    if (!run.Begin({samples, recordFile, start, end, rate, protocolFile, packetFile, errorText})) return 0;
    const I2cOptions options{ChannelMask(sdaChannel), ChannelMask(sclChannel), showAck != 0, delimiter == 2,
                             showMarkers != 0, hexadecimal != 0};
    I2cDecoder decoder(run, options);
    run.Walk(options.sda | options.scl, [&](uint32_t i, uint32_t now, uint32_t prev) { decoder.Step(i, now, prev); });
    return run.Finish();
  });
}

}  // extern "C"
