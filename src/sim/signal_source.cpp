#include "sim/signal_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string_view>

#include "device/pin_wiring.h"
#include "sim/fieldbus_source.h"
#include "sim/protocols_source.h"
#include "sim/streams_source.h"

namespace tqla::sim {
namespace {

// Long enough for the demo traffic to look varied; a multiple of the sine period.
constexpr uint32_t kPeriod = 131072;
constexpr uint32_t kSinePeriod = 1024;

struct PortTables {
  uint8_t low[256];
  uint8_t high[256];
  uint8_t lowChannels[256];
  uint8_t highChannels[256];
  PortTables() {
    for (int v = 0; v < 256; ++v) {
      low[v] = UnmapPortByte(kLowPortBitToChannel, static_cast<uint8_t>(v));
      high[v] = UnmapPortByte(kHighPortBitToChannel, static_cast<uint8_t>(v));
      lowChannels[v] = MapPortByte(kLowPortBitToChannel, static_cast<uint8_t>(v));
      highChannels[v] = MapPortByte(kHighPortBitToChannel, static_cast<uint8_t>(v));
    }
  }
};
const PortTables& portTables() {
  static const PortTables tables;
  return tables;
}

uint32_t ScopeBytes(uint32_t i) {
  const double phase = 2.0 * std::numbers::pi * (i % kSinePeriod) / kSinePeriod;
  const auto ch1 = static_cast<uint32_t>(std::lround(128.0 + 100.0 * std::sin(phase)));
  const auto ch2 = static_cast<uint32_t>(std::lround(128.0 + 100.0 * std::cos(phase)));
  return (ch1 << 16) | (ch2 << 24);
}

// Writes a level on one channel from sample from for count samples.
class Lines {
 public:
  explicit Lines(std::vector<uint32_t>& words) : words_(words) {}
  void Set(uint32_t channel, uint32_t from, uint32_t count, bool high) {
    const uint32_t end = std::min<uint32_t>(from + count, static_cast<uint32_t>(words_.size()));
    for (uint32_t i = from; i < end; ++i) {
      if (high) words_[i] |= 1u << channel;
      else words_[i] &= ~(1u << channel);
    }
  }

 private:
  std::vector<uint32_t>& words_;
};

// Asynchronous serial, 8N1, 16 samples per bit, on channel 6: the text again
// and again, the line idle for 16 bits after each.
void RenderUart(Lines& lines, uint32_t period) {
  constexpr uint32_t kBit = 16;
  constexpr std::string_view kText = "tqla demo pod ";
  lines.Set(6, 0, period, true);
  uint32_t at = 0;
  for (size_t c = 0; at + 12 * kBit < period; c = (c + 1) % kText.size()) {
    const auto byte = static_cast<uint8_t>(kText[c]);
    lines.Set(6, at, kBit, false);
    for (int bit = 0; bit < 8; ++bit) lines.Set(6, at + (1 + bit) * kBit, kBit, (byte >> bit) & 1);
    at += 12 * kBit;  // start, 8 data, stop, 2 idle
    // The line rests after each text, so a reader can find where a character
    // begins: nowhere else is it high for 10 bits.
    if (c + 1 == kText.size()) at += 16 * kBit;
  }
}

// SPI mode 0 on channels 2 (clock), 3 (MOSI), 4 (MISO), 5 (chip select):
// frames of four bytes, 8 samples per bit.
void RenderSpi(Lines& lines, uint32_t period) {
  constexpr uint32_t kBit = 8;
  lines.Set(5, 0, period, true);
  uint32_t at = 16;
  for (uint32_t frame = 0; at + 4 * 8 * kBit + 32 < period; ++frame) {
    // Chip select rises half a bit after the last clock falls, as devices expect.
    lines.Set(5, at, 4 * 8 * kBit + kBit / 2, false);
    for (uint32_t b = 0; b < 4; ++b) {
      const auto mosi = static_cast<uint8_t>(frame * 4 + b);
      const auto miso = static_cast<uint8_t>(~mosi);
      for (int bit = 7; bit >= 0; --bit) {
        lines.Set(3, at, kBit, (mosi >> bit) & 1);
        lines.Set(4, at, kBit, (miso >> bit) & 1);
        lines.Set(2, at + kBit / 2, kBit / 2, true);
        at += kBit;
      }
    }
    at += 32;
  }
}

// I2C on channels 0 (SCL) and 1 (SDA): writes of one byte to address 0x50,
// 20 samples per bit, acknowledged.
void RenderI2c(Lines& lines, uint32_t period) {
  constexpr uint32_t kBit = 20;
  lines.Set(0, 0, period, true);
  lines.Set(1, 0, period, true);
  uint32_t at = 40;
  auto bit = [&](bool level) {
    lines.Set(0, at, kBit / 2, false);
    lines.Set(1, at, kBit, level);
    at += kBit;
  };
  for (uint32_t n = 0; at + 25 * kBit < period; ++n) {
    lines.Set(1, at, kBit / 2, true);
    lines.Set(1, at + kBit / 2, kBit / 2, false);  // start: SDA falls while SCL is high
    at += kBit;
    const uint8_t bytes[2] = {0x50 << 1, static_cast<uint8_t>(n)};
    for (uint8_t byte : bytes) {
      for (int b = 7; b >= 0; --b) bit((byte >> b) & 1);
      bit(false);  // acknowledge
    }
    lines.Set(0, at, kBit / 2, false);
    lines.Set(1, at, kBit / 2 + kBit / 4, false);  // stop: SDA rises while SCL is high
    at += 3 * kBit;
  }
}

}  // namespace

uint16_t ChannelValue(uint8_t lowPort, uint8_t highPort) {
  const PortTables& t = portTables();
  return static_cast<uint16_t>(t.lowChannels[lowPort] | (t.highChannels[highPort] << 8));
}

uint16_t PortValue(uint32_t word) {
  const PortTables& t = portTables();
  return static_cast<uint16_t>(t.low[word & 0xFF] | (t.high[(word >> 8) & 0xFF] << 8));
}

std::shared_ptr<const SignalSource> MakeGenerated(Generator generator) {
  auto source = std::make_shared<SignalSource>();
  const uint32_t period = generator == Generator::Fieldbus    ? kFieldbusPeriod
                          : generator == Generator::Protocols ? kProtocolsPeriod
                                                              : kPeriod;
  source->words.resize(period);
  for (uint32_t i = 0; i < period; ++i) {
    switch (generator) {
      case Generator::Counter:
        source->words[i] = (i & 0xFFFF) | ((i & 0xFF) << 16) | ((255 - (i & 0xFF)) << 24);
        break;
      case Generator::SineCosine:
      case Generator::DemoBus:
      case Generator::Streams:
      case Generator::Fieldbus:
      case Generator::Protocols:
        source->words[i] = ScopeBytes(i);
        break;
    }
  }
  if (generator == Generator::Fieldbus) RenderFieldbus(source->words);
  if (generator == Generator::DemoBus) {
    Lines lines(source->words);
    RenderI2c(lines, kPeriod);
    RenderSpi(lines, kPeriod);
    RenderUart(lines, kPeriod);
    for (uint32_t i = 0; i < kPeriod; ++i) source->words[i] |= ((i >> 10) & 0xFF) << 8;
  }
  if (generator == Generator::Streams) RenderStreamsTraffic(source->words);
  if (generator == Generator::Protocols) RenderProtocolsTraffic(source->words);
  return source;
}

std::shared_ptr<const SignalSource> MakeFromWords(const uint32_t* words, uint32_t count, bool loop) {
  auto source = std::make_shared<SignalSource>();
  source->words.assign(words, words + count);
  source->loop = loop;
  return source;
}

ByteStream::ByteStream(const SignalSource& source, StreamFormat format)
    : loop_(source.loop), bytesPerSample_(sim::BytesPerSample(format)) {
  const std::vector<uint32_t>& words = source.words;
  bytes_.resize(words.size() * bytesPerSample_);
  uint8_t* out = bytes_.data();
  const PortTables& t = portTables();
  for (uint32_t w : words) {
    switch (format) {
      case StreamFormat::Digital16:
        *out++ = t.low[w & 0xFF];
        *out++ = t.high[(w >> 8) & 0xFF];
        break;
      case StreamFormat::Digital8:
        *out++ = t.low[w & 0xFF];
        break;
      case StreamFormat::Analog2:
        *out++ = static_cast<uint8_t>(w >> 16);
        *out++ = static_cast<uint8_t>(w >> 24);
        break;
      case StreamFormat::Analog1:
        *out++ = static_cast<uint8_t>(w >> 16);
        break;
    }
  }
  if (bytes_.size() >= bytesPerSample_) {
    std::memcpy(hold_, bytes_.data() + bytes_.size() - bytesPerSample_, bytesPerSample_);
  } else if (format == StreamFormat::Analog1 || format == StreamFormat::Analog2) {
    hold_[0] = hold_[1] = 128;  // no signal: the converters read 0 V
  }
}

void ByteStream::Copy(uint8_t* destination, uint64_t position, uint32_t count) const {
  const uint64_t size = bytes_.size();
  while (count > 0) {
    if (size > 0 && (loop_ || position < size)) {
      const uint64_t offset = loop_ ? position % size : position;
      const auto n = static_cast<uint32_t>(std::min<uint64_t>(count, size - offset));
      std::memcpy(destination, bytes_.data() + offset, n);
      destination += n;
      position += n;
      count -= n;
      continue;
    }
    if (bytesPerSample_ == 1) {
      std::memset(destination, hold_[0], count);
      return;
    }
    for (uint32_t i = 0; i < count; ++i) destination[i] = hold_[(position + i) & 1];
    return;
  }
}

}  // namespace tqla::sim
