// Any archive through the tool's session file reader (.sr): it is refused
// with a message or yields a capture within the sample limit whose fields
// agree with its samples. The limit keeps zip bombs to a few megabytes.
#include <cstdint>

#include "capture.h"
#include "cli.h"
#include "session_file.h"

namespace {
constexpr uint64_t kLimit = 1u << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const tqla::cli::Capture capture = tqla::cli::ReadSessionArchive(data, size, "fuzz.sr", kLimit);
    if (capture.rateHz == 0 || capture.samples.empty() || capture.samples.size() > kLimit) __builtin_trap();
    if (capture.analogChannels & ~(tqla::cli::kCh1InUse | tqla::cli::kCh2InUse)) __builtin_trap();
    for (const std::string& name : capture.names)
      for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == ',') __builtin_trap();
  } catch (const tqla::cli::CliError&) {
  }
  return 0;
}
