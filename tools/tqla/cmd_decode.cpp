// tqla decode: runs a bus decoder of the library over a capture file and
// writes its records: the library's record file, or its record lines as text,
// CSV or JSON on standard output or in a file.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bus_decoders.h"
#include "capture.h"
#include "cli.h"
#include "commands.h"
#include "protocol_files.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {"output", 'o', "FILE", "where the records go (default or -: standard output, a line at a time)"},
    {"output-format", 'O', "FORM", "text (the record file's lines, default), csv or json (start and end sample,"
                                   " time, bus, values, markers)"},
    {"from-trigger", 0, nullptr, "times count from the capture's trigger, not from sample 0"},
    {"from", 0, "N", "first sample to decode (default 0)"},
    {"to", 0, "N", "decode up to, not including, sample N (default: the end)"},
    {"format", 'f', "FORMAT", "values as hex (default), dec or char"},
    {"delimiter", 'd', "DELIM", "after each value: comma (default), blank or none (none: async only)"},
    {"name", 'n', "TEXT", "name written after the timestamp of every record"},
    {"relative", 0, nullptr, "timestamps count from the previous record"},
    {"protocol", 'p', "NAME", "protocol definition, a file or a name 'tqla packets list' shows: cut the decoded"
                              " stream into packets"},
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
    {"bits", 0, "N", "spi, i2s, serial: bits per word 1-32 (defaults 8, 16, 9; spi8 always 8)"},
    {"words", 0, "N", "spi: words per record (default 8)"},
    {"channels", 0, "LIST", "async: channels, e.g. 6 or 0,3 (default 6); parallel: bus channels (default 8-15)"},
    {"baud", 0, "N", "async: baud rate (default 115200)"},
    {"parity", 0, "P", "async: none (default), mark, space, even or odd"},
    {"data-bits", 0, "N", "async: data bits per character (default 8)"},
    {"per-line", 0, "N", "values per record line (defaults: async 16, i2s 2, serial 4, parallel 16)"},
    {"line", 0, "CH", "1wire: bus line (default 0)"},
    {"no-labels", 0, nullptr, "1wire: leave out Reset Pulse and Presence Pulse; can: the field names and"
                              " the [Error]/[Overload] lines"},
    {"clock", 0, "CH", "i2s, serial, parallel: clock channel (defaults 1, 4, 7)"},
    {"edge", 0, "EDGE", "i2s, serial, parallel: clock edge taking data, rising or falling (parallel: falling)"},
    {"data", 0, "CH", "i2s, serial: data channel (defaults 3, 5)"},
    {"lsb-first", 0, nullptr, "i2s, serial: words arrive least significant bit first"},
    {"ws", 0, "CH", "i2s: word-select channel (default 2)"},
    {"delay", 0, "N", "i2s: clock edges from a word-select change to the word (default 1; 0 left-justified)"},
    {"ws-high", 0, nullptr, "i2s: start at the first word-select rise, not its fall"},
    {"frame", 0, "CH", "serial: frame (chip-select) channel whose active edge aligns the words (default 6)"},
    {"frame-rising", 0, nullptr, "serial: the frame line's active edge is its rise, not its fall"},
    {"sync", 0, "HEX", "serial: align on the first match of this pattern instead of the frame line"},
    {"no-clock", 0, nullptr, "parallel: a value at every sample instead of at clock edges"},
    {"can", 0, "CH", "can: bus channel, high = recessive (default 0)"},
    {"bit-rate", 0, "N", "can: bit rate in bit/s (default 500000)"},
    {"id-min", 0, "ID", "can: lowest identifier shown, decimal or 0x hex (default 0)"},
    {"id-max", 0, "ID", "can: highest identifier shown (default: all)"},
    {"dplus", 0, "CH", "usb: D+ channel (default 1)"},
    {"dminus", 0, "CH", "usb: D- channel (default 2)"},
    {"full-speed", 0, nullptr, "usb: 12 Mbit/s (needs a 24 MHz capture); default low speed, 1.5 Mbit/s"},
    {"address", 0, "N", "usb: show only packets for this device address (default: all)"},
    {"endpoint", 0, "N", "usb: show only packets for this endpoint (default: all)"},
    {"sof", 0, nullptr, "usb: show start-of-frame packets"},
    {"payload-only", 0, nullptr, "usb: write only the data payloads, one packet a line"},
    {"ps2-data", 0, "CH", "ps2: data channel (default 3)"},
    {"ps2-clock", 0, "CH", "ps2: clock channel (default 4)"},
    {"msb-first", 0, nullptr, "ps2: bits most significant first (the bus sends the least first)"},
};

constexpr CommandSpec kSpec = {
    "decode",
    "i2c|spi|spi8|async|can|usb|ps2|1wire|i2s|serial|parallel [OPTIONS] CAPTURE",
    "Decodes the bus traffic of a capture file into the library's record file, at the\n"
    "capture's sample rate: i2c, spi (words of 1-32 bits), spi8 (the 8-bit form with a\n"
    "MOSI and a MISO line per record), async (serial lines, all at one baud rate), can,\n"
    "usb (low or full speed), ps2 (keyboard or mouse, both directions), 1wire, i2s,\n"
    "serial (a clocked bit stream cut into words) or parallel (channels packed into\n"
    "one value at clock edges or at every sample).\n"
    "The default channels are those of the simulated pod's demonstration traffic:\n"
    "I2C SCL 0 and SDA 1, SPI clock 2, MOSI 3, MISO 4 and chip select 5, serial on 6;\n"
    "and of its streams traffic (tqla demo --traffic streams): 1-Wire on 0, I2S clock\n"
    "1, word select 2 and data 3, serial clock 4, data 5 and frame 6, parallel data\n"
    "8-15 with its strobe on 7; and of its fieldbus traffic (tqla demo --traffic\n"
    "fieldbus, captured at 12 MHz): CAN on 0, USB D+ 1 and D- 2, PS/2 data 3, clock 4.",
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

// Channels such as "6", "0,3" or "8-15".
uint32_t ChannelList(const std::string& text) {
  uint32_t mask = 0;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    const size_t dash = item.find('-');
    const auto first = ParseUnsigned("--channels", item.substr(0, dash), 15);
    const auto last = dash == std::string::npos ? first : ParseUnsigned("--channels", item.substr(dash + 1), 15);
    if (last < first) throw UsageError("--channels: " + item + " runs backwards");
    for (auto channel = first; channel <= last; ++channel) mask |= 1u << channel;
    at = comma + 1;
  }
  return mask;
}

void NumbersOnly(const std::string& bus, const DecodeCall& call, bool decimal) {
  if (call.format == 2 || (call.format == 1 && !decimal)) {
    throw UsageError(std::string(bus) + " writes " + (decimal ? "hex or dec" : "hex") + " values only");
  }
  if (call.delimiter == TQLA_DELIMITER_NONE) throw UsageError("--delimiter none is for async only");
}

uint32_t RisingEdge(const ParsedArgs& args, const char* fallback) {
  return Choice(args, "edge", {"falling", "rising"}, fallback);
}

int32_t PerLine(const ParsedArgs& args, int64_t fallback) {
  return static_cast<int32_t>(args.Signed("per-line", fallback, 0, INT32_MAX));
}

int32_t DecodeOneWireBus(const ParsedArgs& args, const DecodeCall& c) {
  NumbersOnly("1wire", c, true);
  return Decode1Wire(c.words, c.out, c.from, c.to, c.rate, args.Unsigned("line", 0, 15), c.delimiter,
                     !args.Has("no-labels"), c.format == 0, c.protocol, c.packets, c.error);
}

int32_t DecodeI2sBus(const ParsedArgs& args, const DecodeCall& c) {
  NumbersOnly("i2s", c, true);
  return DecodeI2S(c.words, c.out, c.from, c.to, static_cast<uint32_t>(c.rate), args.Unsigned("data", 3, 15),
                   static_cast<int32_t>(args.Unsigned("delay", 1, 1024)), 0, args.Has("ws-high") ? 1 : 0,
                   args.Unsigned("ws", 2, 15), 0, args.Unsigned("clock", 1, 15), RisingEdge(args, "rising"),
                   args.Unsigned("bits", 16, 32), args.Has("lsb-first") ? TQLA_LSB_FIRST : TQLA_MSB_FIRST, c.delimiter, c.format == 0,
                   PerLine(args, 2), c.protocol, c.packets, c.error);
}

int32_t DecodeSerialBus(const ParsedArgs& args, const DecodeCall& c) {
  NumbersOnly("serial", c, false);
  uint32_t sync = 0;
  if (args.Has("sync")) {
    std::string text = args.Value("sync");
    if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) text.erase(0, 2);
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, sync, 16);
    if (text.empty() || ec != std::errc() || ptr != end) {
      throw UsageError("--sync: '" + args.Value("sync") + "' is not a hexadecimal pattern of at most 32 bits");
    }
  }
  return DecodeSerial(c.words, c.out, c.from, c.to, static_cast<uint32_t>(c.rate), args.Unsigned("data", 5, 15), sync,
                      args.Has("frame-rising") ? TQLA_EDGE_RISING : TQLA_EDGE_FALLING, args.Unsigned("frame", 6, 15), args.Has("sync") ? 0 : 1,
                      args.Unsigned("clock", 4, 15), RisingEdge(args, "rising"), args.Unsigned("bits", 9, 32),
                      args.Has("lsb-first") ? TQLA_LSB_FIRST : TQLA_MSB_FIRST, c.delimiter, 0, PerLine(args, 4), c.protocol, c.packets,
                      c.error);
}

int32_t DecodeParallelBus(const ParsedArgs& args, const DecodeCall& c) {
  NumbersOnly("parallel", c, true);
  return DecodeParallel(c.words, c.out, c.from, c.to, c.rate, ChannelList(args.Value("channels", "8-15")),
                        args.Unsigned("clock", 7, 15), args.Has("no-clock") ? 0 : 1,
                        static_cast<int32_t>(RisingEdge(args, "falling")), c.delimiter, c.format == 0,
                        PerLine(args, 16), c.protocol, c.packets, c.error);
}

uint32_t Identifier(const ParsedArgs& args, const std::string& name, uint32_t fallback) {
  if (!args.Has(name)) return fallback;
  const std::string text = args.Value(name);
  if (text.rfind("0x", 0) != 0 && text.rfind("0X", 0) != 0) return args.Unsigned(name, fallback, 0x1FFFFFFF);
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data() + 2, end, value, 16);
  if (text.size() == 2 || ec != std::errc() || ptr != end || value > 0x1FFFFFFF)
    throw UsageError("--" + name + ": '" + text + "' is not an identifier (0 to 0x1FFFFFFF)");
  return value;
}

// CAN records always use commas and hexadecimal values.
int32_t DecodeCanBus(const ParsedArgs& args, const DecodeCall& c) {
  return DecodeCAN(c.words, c.out, c.from, c.to, static_cast<uint32_t>(c.rate), args.Unsigned("can", 0, 15),
                   static_cast<uint32_t>(args.Unsigned("bit-rate", 500000, UINT32_MAX)),
                   Identifier(args, "id-max", 0xFFFFFFFF), Identifier(args, "id-min", 0), 0, !args.Has("no-labels"), 0,
                   c.protocol, c.packets, c.error);
}

int32_t DecodeUsbBus(const ParsedArgs& args, const DecodeCall& c) {
  NumbersOnly("usb", c, true);
  constexpr int64_t kAll = 999;
  return DecodeUSB(c.words, c.out, c.from, c.to, c.samples, static_cast<int32_t>(args.Signed("endpoint", kAll, 0, 15)),
                   static_cast<int32_t>(args.Signed("address", kAll, 0, 127)),
                   static_cast<int32_t>(args.Unsigned("dplus", 1, 15)),
                   static_cast<int32_t>(args.Unsigned("dminus", 2, 15)), args.Has("full-speed"), c.rate,
                   args.Has("sof"), c.delimiter == TQLA_DELIMITER_BLANK ? TQLA_DELIMITER_BLANK : TQLA_DELIMITER_COMMA, !args.Has("payload-only"), c.format == 0, c.protocol,
                   c.packets, c.error);
}

// PS/2 records always show hexadecimal bytes.
int32_t DecodePs2Bus(const ParsedArgs& args, const DecodeCall& c) {
  return DecodePS2(c.words, c.out, c.from, c.to, c.rate, args.Unsigned("ps2-data", 3, 15),
                   args.Unsigned("ps2-clock", 4, 15), args.Has("msb-first"), c.protocol, c.packets, c.error);
}

int32_t DecodeI2cBus(const ParsedArgs& args, const DecodeCall& c) {
  return DecodeI2C(c.words, c.out, c.from, c.to, c.rate, args.Unsigned("sda", 1, 15), args.Unsigned("scl", 0, 15),
                   !args.Has("no-ack"), c.delimiter == TQLA_DELIMITER_BLANK ? TQLA_DELIMITER_BLANK : TQLA_DELIMITER_COMMA,
                   !args.Has("no-markers"), c.format != 1, c.protocol, c.packets, c.error);
}

int32_t DecodeAsyncBus(const ParsedArgs& args, const DecodeCall& c) {
  return DecodeASYNC(c.words, c.out, c.from, c.to, c.rate, ChannelList(args.Value("channels", "6")),
                     args.Unsigned("baud", 115200, UINT32_MAX),
                     Choice(args, "parity", {"none", "mark", "space", "even", "odd"}, "none"),
                     args.Unsigned("data-bits", 8, 18), c.delimiter, c.format == 0, c.format == 2,
                     static_cast<int32_t>(args.Signed("per-line", 16, 0, INT32_MAX)), c.protocol, c.packets, c.error);
}

// What body prints on the library's console.
template <class Body>
std::string ConsoleOf(Body&& body) {
  std::string printed;
  TqlaSetConsoleSink([](const char* text, void* user) { static_cast<std::string*>(user)->append(text); }, &printed);
  body();
  TqlaSetConsoleSink(nullptr, nullptr);
  return printed;
}

// spi: words of 1-32 bits; spi8: the fixed 8-bit form.
int32_t DecodeSpiBus(const ParsedArgs& args, const DecodeCall& c, bool eightBit) {
  const auto mode = args.Unsigned("mode", 0, 3);
  const uint32_t rising = (mode == 0 || mode == 3) ? TQLA_EDGE_RISING : TQLA_EDGE_FALLING;
  const auto ss = args.Unsigned("ss", 5, 15), sck = args.Unsigned("sck", 2, 15);
  const auto mosi = args.Unsigned("mosi", 3, 15), miso = args.Unsigned("miso", 4, 15);
  const auto words = static_cast<int32_t>(args.Signed("words", 8, 0, INT32_MAX));
  const uint32_t useCs = args.Has("no-cs") ? 0 : 1;
  const uint32_t delimiter = c.delimiter == TQLA_DELIMITER_BLANK ? TQLA_DELIMITER_BLANK : TQLA_DELIMITER_COMMA;
  const uint32_t format = c.format == 0 ? 1 : c.format == 1 ? 0 : 2;
  if (!eightBit) {
    const auto bits = static_cast<int32_t>(args.Unsigned("bits", 8, 32));
    if (bits == 0) throw UsageError("--bits takes a word size of 1 to 32");
    return DecodeSPIVariable(c.words, c.out, c.from, c.to, c.rate, ss, sck, mosi, miso, rising, rising, delimiter,
                             format, useCs, words, bits, c.protocol, c.packets, c.error);
  }
  // This form reports a failure only on the console.
  const std::string reason = ConsoleOf([&] {
    DecodeSPI(c.words, c.out, c.from, c.to, c.rate, ss, sck, mosi, miso, rising, rising, delimiter, format, useCs,
              words, nullptr, nullptr, nullptr);
  });
  if (reason.empty()) return 1;
  std::snprintf(c.error, 256, "%.*s", static_cast<int>(reason.find_last_not_of('\n') + 1), reason.c_str());
  return 0;
}

int32_t DecodeSpiVariableBus(const ParsedArgs& args, const DecodeCall& c) { return DecodeSpiBus(args, c, false); }
int32_t DecodeSpi8Bus(const ParsedArgs& args, const DecodeCall& c) { return DecodeSpiBus(args, c, true); }

using BusDecoder = int32_t (*)(const ParsedArgs&, const DecodeCall&);
const std::map<std::string, BusDecoder>& Buses() {
  static const std::map<std::string, BusDecoder> kBuses = {
      {"i2c", DecodeI2cBus},     {"spi", DecodeSpiVariableBus}, {"spi8", DecodeSpi8Bus},
      {"async", DecodeAsyncBus}, {"can", DecodeCanBus},         {"usb", DecodeUsbBus},
      {"ps2", DecodePs2Bus},     {"1wire", DecodeOneWireBus},   {"i2s", DecodeI2sBus},
      {"serial", DecodeSerialBus}, {"parallel", DecodeParallelBus}};
  return kBuses;
}

// The record lines as the library hands them out, and where they go.
struct RecordLines {
  std::FILE* out = nullptr;
  std::string form;  // "text", "csv" or "json"
  std::string bus;
  uint32_t rateHz = 1;
  uint32_t origin = 0;  // sample of time 0
  uint64_t count = 0;
  bool failed = false;
};

std::string Number(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Values are the body's tokens that are numbers (hexadecimal, or decimal with
// a sign); everything else is a marker ([S], ACK, Read, CH6, ...).
bool IsValue(const std::string& token) {
  if (token.empty()) return false;
  const size_t from = token[0] == '-' && token.size() > 1 ? 1 : 0;
  return std::all_of(token.begin() + static_cast<std::ptrdiff_t>(from), token.end(),
                     [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    quoted.push_back(c);
    if (c == '"') quoted.push_back('"');
  }
  quoted.push_back('"');
  return quoted;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  out.push_back('"');
  return out;
}

void TakeLine(uint32_t first, uint32_t last, const char* line, void* user) {
  auto& r = *static_cast<RecordLines*>(user);
  if (r.failed) return;
  if (r.form == "text") {
    r.failed = std::fprintf(r.out, "%s\n", line) < 0;
  } else {
    // A line is "TIME, NAME, BODY": the timestamp text ends in its own comma.
    std::string text = line, body = text;
    const size_t afterTime = text.find(',');
    const size_t afterName = afterTime == std::string::npos ? std::string::npos : text.find(", ", afterTime + 1);
    if (afterName != std::string::npos) body = text.substr(afterName + 2);
    std::vector<std::string> values, markers;
    std::string token;
    for (size_t i = 0; i <= body.size(); ++i) {
      if (i == body.size() || body[i] == ' ' || body[i] == ',') {
        if (!token.empty()) (IsValue(token) ? values : markers).push_back(token);
        token.clear();
      } else {
        token.push_back(body[i]);
      }
    }
    const double seconds = (static_cast<double>(first) - r.origin) / r.rateHz;
    auto joined = [](const std::vector<std::string>& items) {
      std::string out;
      for (const std::string& item : items) {
        if (!out.empty()) out.push_back(' ');
        out.append(item);
      }
      return out;
    };
    if (r.form == "csv") {
      r.failed = std::fprintf(r.out, "%u,%u,%s,%s,%s,%s\n", first, last, Number(seconds).c_str(), r.bus.c_str(),
                              CsvField(joined(values)).c_str(), CsvField(joined(markers)).c_str()) < 0;
    } else {
      std::string list[2];
      for (int k = 0; k < 2; ++k) {
        for (const std::string& item : k ? markers : values) {
          if (!list[k].empty()) list[k].push_back(',');
          list[k].append(JsonString(item));
        }
      }
      r.failed = std::fprintf(r.out, "%s{\"start\":%u,\"end\":%u,\"time\":%s,\"bus\":%s,\"values\":[%s],\"markers\":[%s],"
                                     "\"text\":%s}",
                              r.count ? ",\n" : "", first, last, Number(seconds).c_str(), JsonString(r.bus).c_str(),
                              list[0].c_str(), list[1].c_str(), JsonString(body).c_str()) < 0;
    }
  }
  ++r.count;
  if (!r.failed) std::fflush(r.out);
}

}  // namespace

const CommandSpec& DecodeCommandSpec() { return kSpec; }

// Bus names as users write them.
std::string BusName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static const std::map<std::string, std::string> kAliases = {
      {"uart", "async"}, {"rs232", "async"}, {"onewire", "1wire"}, {"1-wire", "1wire"}, {"ps/2", "ps2"},
      {"sync", "serial"}, {"synchronous", "serial"}, {"parallel-bus", "parallel"}};
  const auto alias = kAliases.find(name);
  return alias == kAliases.end() ? name : alias->second;
}

const char* BusNames() { return "i2c, spi, spi8, async (uart), can, usb, ps2, 1wire, i2s, serial or parallel"; }

bool KnownBus(const std::string& bus) { return Buses().count(bus) != 0; }

int32_t CallBusDecoder(const std::string& bus, const ParsedArgs& args, const DecodeCall& call) {
  const auto decoder = Buses().find(bus);
  if (decoder == Buses().end()) throw UsageError("unknown bus " + bus + " (" + BusNames() + ")");
  return decoder->second(args, call);
}

int32_t DecoderRateCode(uint32_t rateHz) {
  const int32_t code = RateCode(rateHz);
  if (code == 0) {
    std::string rate = std::to_string(rateHz) + " Hz";
    for (const auto& [unit, name] : {std::pair{1000000u, " MHz"}, std::pair{1000u, " kHz"}})
      if (rateHz % unit == 0) {
        rate = std::to_string(rateHz / unit) + name;
        break;
      }
    throw CliError("the capture is sampled at " + rate +
                   "; the decoders take 1, 2, 3, 4, 6, 8, 12, 16 or 24 MHz (tqla resamples nothing)");
  }
  return code;
}

TemporaryRecordFile::TemporaryRecordFile() : path_(MakeTemporaryFile()) {}

TemporaryRecordFile::~TemporaryRecordFile() { std::remove(path_.c_str()); }

int RunDecode(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const std::string bus = BusName(args.positional[0]);
  if (!KnownBus(bus)) throw UsageError("unknown bus " + bus + " (" + BusNames() + ")");
  Capture capture = LoadCapture(args.positional[1]);
  const int32_t rate = DecoderRateCode(capture.rateHz);
  const auto count = static_cast<int64_t>(capture.samples.size());
  const auto from = static_cast<int32_t>(args.Signed("from", 0, 0, count));
  const auto to = static_cast<int32_t>(args.Signed("to", count, 0, count));
  if (from > to) throw UsageError("--from " + std::to_string(from) + " lies after --to " + std::to_string(to));
  if (from == to) throw CliError("nothing to decode: the capture has " + std::to_string(count) + " samples");
  std::string output = args.Value("output", "-");
  const std::string form = args.Value("output-format", "text");
  if (form != "text" && form != "csv" && form != "json")
    throw UsageError("--output-format takes text, csv or json, not " + form);
  // The fixed 8-bit SPI form writes its file on its own: text only.
  const bool direct = bus == "spi8" || (form == "text" && output != "-");
  if (bus == "spi8" && form != "text") throw UsageError("spi8 records come only as text");
  if (args.Has("from-trigger") && !capture.trigger) throw UsageError("--from-trigger: the capture has no trigger");
  const uint32_t origin = args.Has("from-trigger") ? *capture.trigger : 0;
  std::string protocol = args.Has("protocol") ? ResolveProtocol(args.Value("protocol")) : "";
  std::string packets = args.Value("packets", "packets.txt");
  const uint32_t format = Choice(args, "format", {"hex", "dec", "char"}, "hex");
  const uint32_t delimiter = Choice(args, "delimiter", {"none", "comma", "blank"}, "comma");
  std::string name = args.Value("name");
  DecodeSetName(name.data());
  StartTimestamp(args.Has("relative") ? 1 : 0);

  // Absolute timestamps count from the time origin.
  TqlaSetTriggerIndex(origin);
  char error[256] = "";
  // Where the library writes its record file: the output itself, standard
  // output (the 8-bit SPI form), or a file of ours when the lines go through
  // the record sink to be formatted.
  std::optional<TemporaryRecordFile> temporary;
  std::string recordPath = output;
  if (!direct) {
    temporary.emplace();
    recordPath = temporary->path();
  } else if (output == "-") {
    recordPath = "/dev/stdout";
  }
  auto* out = reinterpret_cast<uint8_t*>(recordPath.data());
  char* protocolFile = protocol.empty() ? nullptr : protocol.data();
  std::vector<std::string> written;
  if (output != "-") written.push_back(output);
  if (protocolFile) written.push_back(packets);
  // A run that fails leaves no record or packet file it cut short.
  PartialOutputGuard partial(written);
  RecordLines lines;
  lines.form = form;
  lines.bus = bus;
  lines.rateHz = capture.rateHz;
  lines.origin = origin;
  std::FILE* formatted = nullptr;
  if (!direct) {
    formatted = output == "-" ? stdout : std::fopen(output.c_str(), "wb");
    if (!formatted) throw CliError("Can not open output file " + output);
    lines.out = formatted;
    if (form == "csv") std::fputs("start_sample,end_sample,time,bus,values,markers\n", formatted);
    if (form == "json") std::fputs("[\n", formatted);
    TqlaSetRecordSink(TakeLine, &lines);
  }
  // The packet engine's console lines: on stderr with --verbose, else dropped.
  TqlaSetConsoleSink(verbose ? [](const char* text, void*) { std::fputs(text, stderr); }
                             : [](const char*, void*) {},
                     nullptr);
  int32_t result = 1;
  {
    SampleBufferLease lease(capture.samples);
    result = CallBusDecoder(bus, args, {capture.samples.data(), out, from, to, rate, static_cast<int32_t>(count), format,
                                        delimiter, protocolFile, packets.data(), error});
  }
  TqlaSetRecordSink(nullptr, nullptr);
  TqlaSetConsoleSink(nullptr, nullptr);
  if (formatted) {
    if (form == "json") std::fputs(lines.count ? "\n]\n" : "]\n", formatted);
    const bool closed = formatted == stdout ? std::fflush(stdout) == 0 : std::fclose(formatted) == 0;
    if (lines.failed || !closed) throw CliError("Can not write output file " + output);
  }
  if (!result) throw CliError(error);
  partial.Keep();

  // The summary goes to stderr: the records may be on standard output.
  std::FILE* summary = stderr;
  std::fprintf(summary, "decoded %s: samples %d to %d at %u Hz", bus.c_str(), from, to, capture.rateHz);
  if (!direct) {
    std::fprintf(summary, ", %llu record lines", static_cast<unsigned long long>(lines.count));
  } else if (const std::optional<uint64_t> bytes = PartialOutputGuard::RegularSize(output)) {
    std::fprintf(summary, ", %llu bytes of records", static_cast<unsigned long long>(*bytes));
  }
  std::fprintf(summary, "%s%s in %s\n", form == "text" ? "" : " as ", form == "text" ? "" : form.c_str(),
               output == "-" ? "standard output" : output.c_str());
  if (protocolFile) std::fprintf(summary, "packet records in %s\n", packets.c_str());
  return 0;
}

}  // namespace tqla::cli
