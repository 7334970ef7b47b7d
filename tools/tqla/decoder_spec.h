// A decoder named on the command line as BUS:KEY=VALUE,... (render --decode,
// stream --decode): the bus and its settings, which are the decode command's
// options without their dashes.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "cli.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

struct DecoderSpec {
  std::string text;   // as given
  std::string bus;    // the decoder's name (BusName)
  std::string label;  // what pictures and live output call it: name=, else the bus in capitals
  ParsedArgs settings;
};

// Parses "i2c:scl=0,sda=1", "uart:rx=6,baud=115200", "spi:cs=5,mode=3,no-cs".
// A setting without a value is a flag; a value may itself hold commas where
// the bus takes a channel list ("async:channels=0,3"). Keys are the decode
// command's options (see tqla decode --help) with a few short forms: rx for
// the serial or CAN line, cs and clk for SPI. Throws UsageError naming the
// bus, the key and what the bus takes.
DecoderSpec ParseDecoderSpec(const std::string& text);

std::vector<DecoderSpec> ParseDecoderSpecs(const std::vector<std::string>& texts);

// Where a decoder run's output goes besides its record file.
struct DecoderSinks {
  TqlaRecordSink records = nullptr;
  TqlaEventSink events = nullptr;
  void* user = nullptr;
};

// Runs spec's decoder over samples [from, to) (made the current sample
// buffer for the call) at the decoders' rateCode, writing its record file to
// recordPath and handing its lines and events to sinks. Timestamps count from
// sample 0; the decoders' console is silent. Throws CliError "--decode TEXT:
// REASON" when the library refuses the run, UsageError for a setting's value.
void RunDecoderSpec(const DecoderSpec& spec, std::span<uint32_t> samples, uint32_t from, uint32_t to,
                    int32_t rateCode, const std::string& recordPath, const DecoderSinks& sinks);

// Checks spec's settings with a run at rateHz over a little idle bus, so that
// a wrong value is reported before a stream or a picture starts.
void CheckDecoderSpec(const DecoderSpec& spec, uint32_t rateHz);

}  // namespace tqla::cli
