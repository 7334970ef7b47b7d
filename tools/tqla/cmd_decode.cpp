// tqla decode: runs a bus decoder of the library over a capture file and
// writes its record file.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "capture.h"
#include "capture/capture_state.h"
#include "cli.h"
#include "commands.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"output", 'o', "FILE", "record file to write (default: decoded.txt)"},
    {"from", 0, "N", "first sample to decode (default 0)"},
    {"to", 0, "N", "decode up to, not including, sample N (default: the end)"},
    {"format", 'f', "FORMAT", "values as hex (default), dec or char"},
    {"delimiter", 'd', "DELIM", "after each value: comma (default), blank or none (none: async only)"},
    {"name", 'n', "TEXT", "name written after the timestamp of every record"},
    {"relative", 0, nullptr, "timestamps count from the previous record, not the trigger"},
    {"protocol", 'p', "FILE", "protocol definition file: cut the decoded stream into packets"},
    {"packets", 0, "FILE", "packet record file written with --protocol (default: packets.txt)"},
    {"sda", 0, "CH", "i2c: data channel (default 1)"},
    {"scl", 0, "CH", "i2c: clock channel (default 0)"},
    {"no-markers", 0, nullptr, "i2c: leave out [S], [P], Read/Write and the acknowledge texts"},
    {"no-ack", 0, nullptr, "i2c: leave out ACK/NACK"},
    {"ss", 0, "CH", "spi: chip-select channel (default 5)"},
    {"sck", 0, "CH", "spi: clock channel (default 2)"},
    {"mosi", 0, "CH", "spi: MOSI channel (default 3)"},
    {"miso", 0, "CH", "spi: MISO channel (default 4)"},
    {"mode", 0, "0-3", "spi: clock mode; 0 and 3 sample on the rising edge (default 0)"},
    {"no-cs", 0, nullptr, "spi: ignore chip select; records close by word count only"},
    {"bits", 0, "N", "spi: word size 1-32 (default 8; spi8 always 8)"},
    {"words", 0, "N", "spi: words per record (default 8)"},
    {"channels", 0, "LIST", "async: channels to decode, e.g. 6 or 0,3 (default 6)"},
    {"baud", 0, "N", "async: baud rate (default 115200)"},
    {"parity", 0, "P", "async: none (default), mark, space, even or odd"},
    {"data-bits", 0, "N", "async: data bits per character (default 8)"},
    {"per-line", 0, "N", "async: characters per record line (default 16)"},
};

constexpr CommandSpec kSpec = {
    "decode",
    "i2c|spi|spi8|async [OPTIONS] CAPTURE",
    "Decodes the bus traffic of a capture file into the library's record file, at the\n"
    "capture's sample rate: i2c, spi (words of 1-32 bits), spi8 (the 8-bit form with a\n"
    "MOSI and a MISO line per record) or async (serial lines, all at one baud rate).\n"
    "The default channels are those of the simulated pod's demonstration traffic:\n"
    "I2C SCL 0 and SDA 1, SPI clock 2, MOSI 3, MISO 4 and chip select 5, serial on 6.",
    kOptions,
    2,
    2,
};

uint32_t Choice(const ParsedArgs& args, const std::string& name, std::initializer_list<const char*> words,
                const std::string& fallback) {
  const std::string value = args.Value(name, fallback);
  uint32_t index = 0;
  for (const char* word : words) {
    if (value == word) return index;
    ++index;
  }
  throw UsageError("--" + name + " does not take " + value);
}

uint32_t ChannelList(const std::string& text) {
  uint32_t mask = 0;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    mask |= 1u << ParseUnsigned("--channels", text.substr(at, comma - at), 15);
    at = comma + 1;
  }
  return mask;
}

}  // namespace

int RunDecode(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const std::string bus = args.positional[0];
  if (bus != "i2c" && bus != "spi" && bus != "spi8" && bus != "async") throw UsageError("unknown bus " + bus);
  Capture capture = LoadCapture(args.positional[1]);
  const int32_t rate = RateCode(capture.rateHz);
  if (rate == 0) throw CliError("the capture's rate of " + std::to_string(capture.rateHz) + " Hz has no decoder rate");
  const auto count = static_cast<int64_t>(capture.samples.size());
  const auto from = static_cast<int32_t>(args.Signed("from", 0, 0, count));
  const auto to = static_cast<int32_t>(args.Signed("to", count, 0, count));
  std::string output = args.Value("output", "decoded.txt");
  std::string protocol = args.Value("protocol");
  std::string packets = args.Value("packets", "packets.txt");
  const uint32_t format = Choice(args, "format", {"hex", "dec", "char"}, "hex");
  const uint32_t delimiter = Choice(args, "delimiter", {"none", "comma", "blank"}, "comma");
  std::string name = args.Value("name");
  DecodeSetName(name.data());
  StartTimestamp(args.Has("relative") ? 1 : 0);

  // Absolute timestamps count from the capture's trigger.
  captureState.TriggerIndex.store(capture.trigger.value_or(0));
  char error[256] = "";
  auto* out = reinterpret_cast<uint8_t*>(output.data());
  char* protocolFile = protocol.empty() ? nullptr : protocol.data();
  int32_t result = 1;
  {
    SampleBufferLease lease(capture.samples);
    uint32_t* words = capture.samples.data();
    const bool blankOrComma = delimiter == 2;
    if (bus == "i2c") {
      const bool markers = !args.Has("no-markers");
      result = DecodeI2C(words, out, from, to, rate, args.Unsigned("sda", 1, 15), args.Unsigned("scl", 0, 15),
                         !args.Has("no-ack"), blankOrComma ? 2 : 1, markers, format != 1, protocolFile,
                         packets.data(), error);
    } else if (bus == "async") {
      result = DecodeASYNC(words, out, from, to, rate, ChannelList(args.Value("channels", "6")),
                           args.Unsigned("baud", 115200, UINT32_MAX),
                           Choice(args, "parity", {"none", "mark", "space", "even", "odd"}, "none"),
                           args.Unsigned("data-bits", 8, 18), delimiter, format == 0, format == 2,
                           static_cast<int32_t>(args.Signed("per-line", 16, 0, INT32_MAX)), protocolFile,
                           packets.data(), error);
    } else {
      const auto mode = args.Unsigned("mode", 0, 3);
      const uint32_t rising = (mode == 0 || mode == 3) ? 1 : 0;
      const auto ss = args.Unsigned("ss", 5, 15), sck = args.Unsigned("sck", 2, 15);
      const auto mosi = args.Unsigned("mosi", 3, 15), miso = args.Unsigned("miso", 4, 15);
      const auto words_ = static_cast<int32_t>(args.Signed("words", 8, 0, INT32_MAX));
      const uint32_t useCs = args.Has("no-cs") ? 0 : 1;
      if (bus == "spi") {
        result = DecodeSPIVariable(words, out, from, to, rate, ss, sck, mosi, miso, rising, rising,
                                   blankOrComma ? 2 : 1, format == 0 ? 1 : format == 1 ? 0 : 2, useCs, words_,
                                   static_cast<int32_t>(args.Unsigned("bits", 8, 32)), protocolFile, packets.data(),
                                   error);
      } else {
        DecodeSPI(words, out, from, to, rate, ss, sck, mosi, miso, rising, rising, blankOrComma ? 2 : 1,
                  format == 0 ? 1 : format == 1 ? 0 : 2, useCs, words_, nullptr, nullptr, nullptr);
        if (!std::filesystem::exists(output)) throw CliError("Can not open output file " + output);
      }
    }
  }
  if (!result) throw CliError(error);

  std::ifstream records(output, std::ios::binary);
  uint64_t lines = 0, bytes = 0;
  for (std::string line; std::getline(records, line);) lines += !line.empty(), bytes += line.size() + 1;
  std::printf("decoded %s: samples %d to %d at %u Hz, %llu record lines in %s\n", bus.c_str(), from, to,
              capture.rateHz, static_cast<unsigned long long>(lines), output.c_str());
  if (protocolFile) std::printf("packet records in %s\n", packets.c_str());
  return 0;
}

}  // namespace tqla::cli
