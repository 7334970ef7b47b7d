// Session files of the common open-source analyzer suite (.sr): a zip
// archive holding a "version" member ("2"), an INI-style "metadata" member
// ([device 1]: capturefile, total probes, samplerate, unitsize, probeN and
// analogN names) and the samples in chunks: "logic-1-1", "logic-1-2", ...
// of unitsize bytes per sample (little-endian, bit n = probe n + 1), and
// "analog-1-N-1", ... of 32-bit little-endian floats in volts.
//
// Writing: the 16 digital channels (unitsize 2) under their names, the
// sample rate, and the scope channels in use as analog channels 17 (CH1) and
// 18 (CH2). A scope byte is exact in a float ((byte - 128) x 0.078125 V), so
// reading our own file back gives the same bytes. The trigger is not kept:
// the format has no place for it.
//
// Reading: up to 16 logic channels (unit sizes 1 to 4, probes past 16
// refused), the first two analog channels as CH1 and CH2 (volts rounded to
// the nearest scope step, clamped to -10 .. +9.92 V), any sample rate that
// fits in 32 bits (the decoders check theirs). The reader trusts no size the
// archive declares: members are read in blocks up to a limit on the samples,
// so a zip bomb stops at the limit with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture.h"

namespace tqla::cli {

// Whether this tool was built with libzip and reads and writes .sr files.
bool SessionFilesSupported();

// A .sr by its name, or a file whose first bytes are a zip archive's and
// whose name does not say it is a tqla capture (.tqc).
bool IsSessionFile(const std::string& path);

// Reads a session file; throws CliError naming the file and what is wrong.
Capture LoadSessionFile(const std::string& path, uint64_t maxSamples = kMaxCaptureSamples);

// The same from an archive in memory (name: for messages).
Capture ReadSessionArchive(const uint8_t* data, size_t size, const std::string& name,
                           uint64_t maxSamples = kMaxCaptureSamples);

// Writes samples [from, to) of capture as a session file; throws CliError.
// Nothing is left at path when it fails.
void SaveSessionFile(const std::string& path, const Capture& capture, uint64_t from, uint64_t to);

}  // namespace tqla::cli
