// The library's bus decoders as the decode command calls them, for the
// commands that decode too (render's annotation rows, stream's live records):
// a bus by name, its settings as the decode command's options.
#pragma once

#include <cstdint>
#include <string>

#include "cli.h"

namespace tqla::cli {

// What every bus's decoder call shares.
struct DecodeCall {
  uint32_t* words;
  uint8_t* out;
  int32_t from, to, rate;
  int32_t samples;     // in the capture
  uint32_t format;     // 0 hex, 1 dec, 2 char
  uint32_t delimiter;  // TQLA_DELIMITER_*
  char* protocol;
  char* packets;
  char* error;
};

// The decode command's options: the settings of every bus.
const CommandSpec& DecodeCommandSpec();

// A bus name as users write it, in any case and with the common aliases
// ("uart", "onewire", ...), as the decoder's name ("async", "1wire", ...).
std::string BusName(std::string name);
// The bus names the decode command takes, for messages.
const char* BusNames();
bool KnownBus(const std::string& bus);

// The decoders' rate code of a capture's rate; throws CliError naming the
// rates they take for any other.
int32_t DecoderRateCode(uint32_t rateHz);

// Runs the decoder of bus (a name BusName gave) with the settings in args
// over call's range of call.words, which must be the current sample buffer.
// Returns the library's result: 0 when it failed, with the reason in
// call.error. Throws UsageError for settings the bus does not take.
int32_t CallBusDecoder(const std::string& bus, const ParsedArgs& args, const DecodeCall& call);

// A file of our own for the library's record file when the records go
// elsewhere; removed with the object.
class TemporaryRecordFile {
 public:
  TemporaryRecordFile();
  ~TemporaryRecordFile();
  TemporaryRecordFile(const TemporaryRecordFile&) = delete;
  TemporaryRecordFile& operator=(const TemporaryRecordFile&) = delete;
  std::string& path() { return path_; }

 private:
  std::string path_;
};

}  // namespace tqla::cli
