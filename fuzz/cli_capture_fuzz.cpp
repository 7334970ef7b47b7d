// Any file through the tool's capture reader: it is refused with a message
// or yields a capture whose fields agree with its samples.
#include <cstdint>
#include <cstdio>

#include "capture.h"
#include "cli.h"
#include "fuzz_file.h"
#include "session_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteFuzzFile("tqc", data, size);
  if (path.empty()) return 0;
  // A zip archive goes to the session file reader, fuzzed on its own.
  if (tqla::cli::IsSessionFile(path)) {
    std::remove(path.c_str());
    return 0;
  }
  try {
    const tqla::cli::Capture capture = tqla::cli::LoadCapture(path);
    if (capture.rateHz == 0 || (capture.trigger && *capture.trigger >= capture.samples.size())) __builtin_trap();
    if (232 + capture.samples.size() * 4 != size) __builtin_trap();
  } catch (const tqla::cli::CliError&) {
  }
  std::remove(path.c_str());
  return 0;
}
