#include "decoder_spec.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "bus_decoders.h"
#include "capture.h"
#include "tqla/tqla.h"

namespace tqla::cli {

namespace {

// The settings each bus takes, by the decode command's option names.
const std::map<std::string, std::set<std::string>>& BusSettings() {
  static const std::map<std::string, std::set<std::string>> kSettings = {
      {"i2c", {"scl", "sda", "no-markers", "no-ack"}},
      {"spi", {"ss", "sck", "mosi", "miso", "mode", "no-cs", "bits", "words"}},
      {"spi8", {"ss", "sck", "mosi", "miso", "mode", "no-cs", "words"}},
      {"async", {"channels", "baud", "parity", "data-bits", "per-line"}},
      {"can", {"can", "bit-rate", "id-min", "id-max", "no-labels"}},
      {"usb", {"dplus", "dminus", "full-speed", "address", "endpoint", "sof", "payload-only"}},
      {"ps2", {"ps2-data", "ps2-clock", "msb-first"}},
      {"1wire", {"line", "no-labels"}},
      {"i2s", {"clock", "edge", "data", "lsb-first", "ws", "delay", "ws-high", "bits", "per-line"}},
      {"serial", {"clock", "edge", "data", "lsb-first", "frame", "frame-rising", "sync", "bits", "per-line"}},
      {"parallel", {"channels", "clock", "edge", "no-clock", "per-line"}},
  };
  return kSettings;
}

// Every bus takes these.
const std::set<std::string> kCommonSettings = {"format", "delimiter", "name"};

// Short forms users bring from other tools.
std::string SettingName(const std::string& bus, const std::string& key) {
  if (key == "rx" && bus == "async") return "channels";
  if (key == "rx" && bus == "can") return "can";
  if ((key == "cs" || key == "ss") && (bus == "spi" || bus == "spi8")) return "ss";
  if ((key == "clk" || key == "clock") && (bus == "spi" || bus == "spi8")) return "sck";
  if (key == "data" && bus == "ps2") return "ps2-data";
  if (key == "clock" && bus == "ps2") return "ps2-clock";
  return key;
}

bool ChannelListPiece(const std::string& piece) {
  return !piece.empty() && std::all_of(piece.begin(), piece.end(), [](unsigned char c) {
    return std::isdigit(c) || c == '-';
  });
}

std::string Joined(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

DecoderSpec ParseDecoderSpec(const std::string& text) {
  DecoderSpec spec;
  spec.text = text;
  const size_t colon = text.find(':');
  spec.bus = BusName(text.substr(0, colon));
  if (spec.bus.empty()) throw UsageError("--decode " + text + ": no bus named (" + BusNames() + ")");
  if (!KnownBus(spec.bus)) throw UsageError("--decode " + text + ": unknown bus '" + spec.bus + "' (" + BusNames() + ")");
  const std::set<std::string>& takes = BusSettings().at(spec.bus);

  // "key=value" pieces; a bare channel number or range continues the list
  // before it.
  std::vector<std::pair<std::string, std::string>> pieces;
  const std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
  for (size_t at = 0; colon != std::string::npos && at <= rest.size();) {
    const size_t comma = std::min(rest.find(',', at), rest.size());
    const std::string piece = rest.substr(at, comma - at);
    at = comma + 1;
    const size_t eq = piece.find('=');
    if (eq == std::string::npos && ChannelListPiece(piece) && !pieces.empty() && !pieces.back().second.empty()) {
      pieces.back().second += "," + piece;
      continue;
    }
    if (piece.empty()) throw UsageError("--decode " + text + ": an empty setting");
    if (eq == 0) throw UsageError("--decode " + text + ": '" + piece + "' has no name");
    pieces.emplace_back(piece.substr(0, eq), eq == std::string::npos ? "" : piece.substr(eq + 1));
    if (eq != std::string::npos && pieces.back().second.empty())
      throw UsageError("--decode " + text + ": " + pieces.back().first + "= has no value");
  }

  std::vector<std::string> words;
  for (const auto& [key, value] : pieces) {
    const std::string name = SettingName(spec.bus, key);
    if (!takes.count(name) && !kCommonSettings.count(name)) {
      throw UsageError("--decode " + text + ": " + spec.bus + " has no setting '" + key + "' (it takes " +
                       Joined(takes) + ", and format, delimiter, name)");
    }
    words.push_back("--" + name);
    if (!value.empty()) words.push_back(value);
  }
  CommandSpec settingsOnly = DecodeCommandSpec();
  settingsOnly.minPositional = settingsOnly.maxPositional = 0;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  try {
    spec.settings = ParseArgs(settingsOnly, static_cast<int>(argv.size()), argv.data());
  } catch (const UsageError& e) {
    throw UsageError("--decode " + text + ": " + e.what());
  }
  spec.label = spec.settings.Value("name");
  if (spec.label.empty()) {
    spec.label = spec.bus == "async" ? "UART" : spec.bus;
    for (char& c : spec.label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return spec;
}

std::vector<DecoderSpec> ParseDecoderSpecs(const std::vector<std::string>& texts) {
  std::vector<DecoderSpec> specs;
  for (const std::string& text : texts) specs.push_back(ParseDecoderSpec(text));
  return specs;
}

void RunDecoderSpec(const DecoderSpec& spec, std::span<uint32_t> samples, uint32_t from, uint32_t to,
                    int32_t rateCode, const std::string& recordPath, const DecoderSinks& sinks) {
  std::string record = recordPath;
  char error[256] = "";
  std::string name = spec.settings.Value("name");
  DecodeSetName(name.data());
  StartTimestamp(0);
  TqlaSetTriggerIndex(0);
  TqlaSetRecordSink(sinks.records, sinks.user);
  TqlaSetEventSink(sinks.events, sinks.user);
  TqlaSetConsoleSink([](const char*, void*) {}, nullptr);
  // The sinks go whatever happens: the next decoder run is not ours.
  struct Unset {
    ~Unset() {
      TqlaSetRecordSink(nullptr, nullptr);
      TqlaSetEventSink(nullptr, nullptr);
      TqlaSetConsoleSink(nullptr, nullptr);
    }
  } unset;
  // The decode command's own format numbers: 0 hex, 1 dec, 2 char.
  const std::string formatName = spec.settings.Value("format", "hex");
  const uint32_t format = formatName == "dec" ? 1 : formatName == "char" ? 2 : 0;
  const std::string delimiterName = spec.settings.Value("delimiter", "comma");
  const uint32_t delimiter = delimiterName == "none"    ? TQLA_DELIMITER_NONE
                             : delimiterName == "blank" ? TQLA_DELIMITER_BLANK
                                                        : TQLA_DELIMITER_COMMA;
  int32_t result = 0;
  try {
    SampleBufferLease lease(samples.data(), samples.size());
    result = CallBusDecoder(spec.bus, spec.settings,
                            {samples.data(), reinterpret_cast<uint8_t*>(record.data()), static_cast<int32_t>(from),
                             static_cast<int32_t>(to), rateCode, static_cast<int32_t>(samples.size()), format,
                             delimiter, nullptr, nullptr, error});
  } catch (const UsageError& e) {
    throw UsageError("--decode " + spec.text + ": " + e.what());
  }
  if (!result) throw CliError("--decode " + spec.text + ": " + (error[0] ? error : TqlaLastError()));
}

void CheckDecoderSpec(const DecoderSpec& spec, uint32_t rateHz) {
  const int32_t rateCode = DecoderRateCode(rateHz);
  const struct {
    const char* setting;
    std::set<std::string> takes;
  } kChoices[] = {{"format", {"hex", "dec", "char"}}, {"delimiter", {"none", "comma", "blank"}}};
  for (const auto& choice : kChoices) {
    const std::string value = spec.settings.Value(choice.setting);
    if (!value.empty() && !choice.takes.count(value))
      throw UsageError("--decode " + spec.text + ": " + choice.setting + " does not take " + value + " (" +
                       Joined(choice.takes) + ")");
  }
  // Every line idle high: no traffic, but every setting read and checked.
  std::vector<uint32_t> idle(65536, 0xFFFF);
  TemporaryRecordFile record;
  RunDecoderSpec(spec, idle, 0, static_cast<uint32_t>(idle.size()), rateCode, record.path(), {});
}

}  // namespace tqla::cli
