// What the simulated pod's inputs carry: sample words in the library's own
// layout (digital bits 0-15, CH1 bits 16-23, CH2 bits 24-31), from the host
// or from a built-in generator, and the byte streams each FX2 program sends
// for them, mapped to pin order once so that streaming is a copy.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tqla::sim {

enum class Generator : int32_t { Counter = 1, SineCosine = 2, DemoBus = 3, Fieldbus = 4, Streams = 5, Protocols = 6 };

// The byte layout an FX2 program sends per sample.
enum class StreamFormat : uint8_t {
  Digital16,  // pin-order low byte, then high byte
  Digital8,   // pin-order low byte
  Analog2,    // CH1 byte, then CH2 byte
  Analog1,    // CH1 byte
};

constexpr uint32_t BytesPerSample(StreamFormat format) {
  return format == StreamFormat::Digital16 || format == StreamFormat::Analog2 ? 2 : 1;
}

struct SignalSource {
  std::vector<uint32_t> words;
  // Without looping the last word holds once the words are used up.
  bool loop = true;
};

// One period of a built-in generator.
std::shared_ptr<const SignalSource> MakeGenerated(Generator generator);
std::shared_ptr<const SignalSource> MakeFromWords(const uint32_t* words, uint32_t count, bool loop);

// A source's words as one FX2 sends them. Bytes past the end repeat the last
// sample when the source does not loop.
class ByteStream {
 public:
  ByteStream(const SignalSource& source, StreamFormat format);
  // Copies count stream bytes starting at stream byte position.
  void Copy(uint8_t* destination, uint64_t position, uint32_t count) const;
  uint32_t BytesPerSample() const { return bytesPerSample_; }

 private:
  std::vector<uint8_t> bytes_;
  bool loop_;
  uint32_t bytesPerSample_;
  uint8_t hold_[2] = {0, 0};
};

// Pin-order 16-bit value of a word's digital bits, as the port sees them.
uint16_t PortValue(uint32_t word);
// The channel-order value of the two port bytes the pod drives.
uint16_t ChannelValue(uint8_t lowPort, uint8_t highPort);

}  // namespace tqla::sim
