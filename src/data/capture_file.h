// Capture files: a common head of eight 20-byte text fields and a header byte,
// optionally configuration fields, then one or two raw data blocks. The
// exports copy the host's variables; the CLI and tests use these directly to
// choose the data block length themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace tqla {

enum class CaptureLayout {
  Plain,     // head, data block
  Config,    // head, stored length, 35 bytes, 8 words, data block
  Config16,  // head, stored length, 35 bytes, 13 words, trailing byte, two data blocks
};

// Sizes of the fixed parts, in file order.
constexpr uint64_t kTextFieldBytes = 20;
constexpr uint64_t kHeadBytes = 8 * kTextFieldBytes + 1;  // 161
constexpr uint64_t kConfigHeadBytes = kHeadBytes + 4 + 35 + 8 * 4;  // 232
constexpr uint64_t kConfig16HeadBytes = kHeadBytes + 4 + 35 + 13 * 4 + 1;  // 253

// Pointers to the host's variables, in file order. A null pointer is written
// as zero bytes and skipped when reading.
struct CaptureFileFields {
  char* text[8] = {};
  uint8_t* headerByte = nullptr;
  uint32_t* storedLength = nullptr;   // configuration layouts only
  uint8_t* configBytes[35] = {};      // configuration layouts only
  uint32_t* configWords[13] = {};     // 8 in Config, 13 in Config16
  uint8_t* trailingByte = nullptr;    // Config16 only
};

// Writes fileName in layout. Each data block is exactly blockBytes long: taken
// from data (and second), and zero-padded past dataBytes (secondBytes), what
// the arrays really hold. False when the file cannot be created or a write
// or the close fails (a full disk); the file is then left as far as it got.
bool WriteCaptureFile(const char* fileName, CaptureLayout layout, const CaptureFileFields& fields,
                      uint64_t blockBytes, const void* data, uint64_t dataBytes, const void* second,
                      uint64_t secondBytes);

struct CaptureFileRead {
  bool opened = false;
  uint64_t blockBytes = 0;   // the block length used (the stored length when taken from the file)
  uint64_t dataBytes = 0;    // bytes read into the first block's destination
  uint64_t secondBytes = 0;  // bytes read into the second block's destination
};

// Where the second block goes, asked with the bytes of it that the file
// really holds (at most the block length); an empty span stores nothing.
using SecondBlockDestination = std::function<std::span<uint8_t>(uint64_t bytesInFile)>;

// Reads fileName (a regular file only) in layout into the host's variables, then up to blockBytes
// of the data block into data (at most dataCapacity bytes are stored). For the
// configuration layouts blockBytes is taken from the stored length read from
// the file when useStoredLength is set. The second block of Config16 begins
// blockBytes after the first, whatever was stored.
CaptureFileRead ReadCaptureFile(const char* fileName, CaptureLayout layout, const CaptureFileFields& fields,
                                uint64_t blockBytes, bool useStoredLength, void* data, uint64_t dataCapacity,
                                const SecondBlockDestination& second);

// The same with a second destination fixed in advance.
CaptureFileRead ReadCaptureFile(const char* fileName, CaptureLayout layout, const CaptureFileFields& fields,
                                uint64_t blockBytes, bool useStoredLength, void* data, uint64_t dataCapacity,
                                void* second, uint64_t secondCapacity);

}  // namespace tqla
