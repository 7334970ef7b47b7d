#include "data/capture_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "data/data_file.h"
#include "frame/export.h"
#include "frame/sample_buffer.h"

namespace tqla {

uint64_t SampleStorageBytes() {
  return sampleBuffer.SampleBuffer ? static_cast<uint64_t>(sampleBuffer.StorageWords) * 4 : 0;
}

bool CloseWrittenFile(DataFile& file, const char* fileName) {
  std::FILE* f = file.release();
  const bool written = std::ferror(f) == 0;
  errno = 0;
  if (std::fclose(f) == 0 && written) return true;
  Fail("Writing %s failed: %s", fileName, errno ? std::strerror(errno) : "write error");
  return false;
}

namespace {

constexpr size_t kZeroChunk = 4096;
const uint8_t kZeros[kZeroChunk] = {};

void WriteZeros(std::FILE* file, uint64_t bytes) {
  while (bytes > 0) {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(bytes, kZeroChunk));
    std::fwrite(kZeros, 1, chunk, file);
    bytes -= chunk;
  }
}

void WriteField(std::FILE* file, const void* field, size_t bytes) {
  if (field)
    std::fwrite(field, 1, bytes, file);
  else
    WriteZeros(file, bytes);
}

// A short file leaves the rest of the host's variable as it was.
void ReadField(std::FILE* file, void* field, size_t bytes) {
  if (field)
    std::fread(field, 1, bytes, file);
  else
    std::fseek(file, static_cast<long>(bytes), SEEK_CUR);
}

void WriteBlock(std::FILE* file, uint64_t blockBytes, const void* data, uint64_t dataBytes) {
  const uint64_t fromData = data ? std::min(blockBytes, dataBytes) : 0;
  if (fromData > 0) std::fwrite(data, 1, static_cast<size_t>(fromData), file);
  WriteZeros(file, blockBytes - fromData);
}

uint64_t ReadBlock(std::FILE* file, uint64_t blockBytes, void* data, uint64_t capacity) {
  const uint64_t wanted = data ? std::min(blockBytes, capacity) : 0;
  if (wanted == 0) return 0;
  return std::fread(data, 1, static_cast<size_t>(wanted), file);
}

int ConfigWordCount(CaptureLayout layout) { return layout == CaptureLayout::Config16 ? 13 : 8; }

uint64_t DataOffset(CaptureLayout layout) {
  switch (layout) {
    case CaptureLayout::Plain: return kHeadBytes;
    case CaptureLayout::Config: return kConfigHeadBytes;
    case CaptureLayout::Config16: return kConfig16HeadBytes;
  }
  return kHeadBytes;
}

}  // namespace

bool WriteCaptureFile(const char* fileName, CaptureLayout layout, const CaptureFileFields& fields,
                      uint64_t blockBytes, const void* data, uint64_t dataBytes, const void* second,
                      uint64_t secondBytes) {
  DataFile file = OpenDataFile(fileName, "wb");
  if (!file) return false;
  std::FILE* f = file.get();
  for (char* text : fields.text) WriteField(f, text, kTextFieldBytes);
  WriteField(f, fields.headerByte, 1);
  if (layout != CaptureLayout::Plain) {
    WriteField(f, fields.storedLength, 4);
    for (uint8_t* byte : fields.configBytes) WriteField(f, byte, 1);
    for (int i = 0; i < ConfigWordCount(layout); ++i) WriteField(f, fields.configWords[i], 4);
    if (layout == CaptureLayout::Config16) WriteField(f, fields.trailingByte, 1);
  }
  WriteBlock(f, blockBytes, data, dataBytes);
  if (layout == CaptureLayout::Config16) WriteBlock(f, blockBytes, second, secondBytes);
  return CloseWrittenFile(file, fileName);
}

CaptureFileRead ReadCaptureFile(const char* fileName, CaptureLayout layout, const CaptureFileFields& fields,
                                uint64_t blockBytes, bool useStoredLength, void* data, uint64_t dataCapacity,
                                const SecondBlockDestination& second) {
  CaptureFileRead result;
  DataFile file = OpenDataFileToRead(fileName);
  if (!file) return result;
  result.opened = true;
  std::FILE* f = file.get();
  for (char* text : fields.text) ReadField(f, text, kTextFieldBytes);
  ReadField(f, fields.headerByte, 1);
  if (layout != CaptureLayout::Plain) {
    // The block length follows the file even when the host gave no variable.
    uint32_t storedHere = 0;
    uint32_t* stored = fields.storedLength ? fields.storedLength : &storedHere;
    ReadField(f, stored, 4);
    if (useStoredLength) blockBytes = *stored;
    for (uint8_t* byte : fields.configBytes) ReadField(f, byte, 1);
    for (int i = 0; i < ConfigWordCount(layout); ++i) ReadField(f, fields.configWords[i], 4);
    if (layout == CaptureLayout::Config16) ReadField(f, fields.trailingByte, 1);
  }
  result.blockBytes = blockBytes;
  result.dataBytes = ReadBlock(f, blockBytes, data, dataCapacity);
  if (layout == CaptureLayout::Config16) {
    // Whatever of the first block was not stored is skipped by position.
    const uint64_t secondStart = DataOffset(layout) + blockBytes;
    const uint64_t fileBytes = static_cast<uint64_t>(std::max<int64_t>(RegularFileSize(f), 0));
    const uint64_t inFile = fileBytes > secondStart ? std::min(fileBytes - secondStart, blockBytes) : 0;
    const std::span<uint8_t> into = second && inFile ? second(inFile) : std::span<uint8_t>{};
    if (!into.empty() && fseeko(f, static_cast<off_t>(secondStart), SEEK_SET) == 0)
      result.secondBytes = ReadBlock(f, blockBytes, into.data(), into.size());
  }
  return result;
}

CaptureFileRead ReadCaptureFile(const char* fileName, CaptureLayout layout, const CaptureFileFields& fields,
                                uint64_t blockBytes, bool useStoredLength, void* data, uint64_t dataCapacity,
                                void* second, uint64_t secondCapacity) {
  const SecondBlockDestination fixed = [&](uint64_t) {
    return std::span<uint8_t>(static_cast<uint8_t*>(second), second ? secondCapacity : 0);
  };
  return ReadCaptureFile(fileName, layout, fields, blockBytes, useStoredLength, data, dataCapacity, fixed);
}

}  // namespace tqla

using namespace tqla;

namespace {

CaptureFileFields Head(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8,
                       uint8_t* headerByte) {
  CaptureFileFields fields;
  char* texts[8] = {t1, t2, t3, t4, t5, t6, t7, t8};
  std::copy(std::begin(texts), std::end(texts), fields.text);
  fields.headerByte = headerByte;
  return fields;
}

void SetConfig(CaptureFileFields& fields, uint32_t* storedLength, std::initializer_list<uint8_t*> bytes,
               std::initializer_list<uint32_t*> words, uint8_t* trailingByte) {
  fields.storedLength = storedLength;
  std::copy(bytes.begin(), bytes.end(), fields.configBytes);
  std::copy(words.begin(), words.end(), fields.configWords);
  fields.trailingByte = trailingByte;
}

// The data block is BufferLength bytes; what lies past the real storage (a
// length set from a file or a host can exceed it) is saved as zeros.
bool SaveCurrent(const char* fileName, CaptureLayout layout, const CaptureFileFields& fields) {
  const uint64_t blockBytes = sampleBuffer.BufferLength;
  const WordSpan second = layout == CaptureLayout::Config16 ? ExistingSecondArray() : WordSpan{};
  return WriteCaptureFile(fileName, layout, fields, blockBytes, sampleBuffer.SampleBuffer, SampleStorageBytes(),
                          second.words, static_cast<uint64_t>(second.length) * 4);
}

// The second array grows to hold what the file has of the second block (never
// the stored length itself, which a file can set to anything), and never past
// BufferLength words; a growth that memory refuses stores nothing of it.
std::span<uint8_t> SecondArrayFor(uint64_t bytesInFile) {
  const uint64_t words = std::min<uint64_t>((bytesInFile + 3) / 4, sampleBuffer.BufferLength);
  if (words == 0) return {};
  const WordSpan array = EnsureSecondArray(static_cast<uint32_t>(words));
  if (array.empty()) return {};
  return {reinterpret_cast<uint8_t*>(array.words), static_cast<size_t>(words * 4)};
}

// CapturedLength takes the stored length, bounded by the storage so that no
// later walk over the captured words leaves the buffer.
void SetCapturedFromStored(uint64_t storedLength) {
  sampleBuffer.CapturedLength.store(
      static_cast<uint32_t>(std::min<uint64_t>(storedLength, sampleBuffer.SampleBuffer ? sampleBuffer.StorageWords : 0)),
      std::memory_order_relaxed);
}

}  // namespace

extern "C" {

// Every save returns 0 when the file cannot be created or when a write or
// the close fails (a full disk); a file cut short is left as far as it got.
int32_t TQLA_API SaveFileData(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8,
                              uint8_t* headerByte, const char* fileName) {
  return Guarded<int32_t>("SaveFileData", 0, [&] {
    return SaveCurrent(fileName, CaptureLayout::Plain, Head(t1, t2, t3, t4, t5, t6, t7, t8, headerByte)) ? 1 : 0;
  });
}

// Reads at most the buffer's real storage: BufferLength becomes, and the
// result is, the number of bytes actually stored.
int32_t TQLA_API OpenFileData(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8,
                              uint8_t* headerByte, const char* fileName) {
  return Guarded<int32_t>("OpenFileData", 0, [&] {
    const CaptureFileRead read =
        ReadCaptureFile(fileName, CaptureLayout::Plain, Head(t1, t2, t3, t4, t5, t6, t7, t8, headerByte),
                        sampleBuffer.BufferLength, false, sampleBuffer.SampleBuffer, SampleStorageBytes(), nullptr, 0);
    if (!read.opened) return 0;
    sampleBuffer.BufferLength = static_cast<uint32_t>(read.dataBytes);
    return static_cast<int32_t>(read.dataBytes);
  });
}

int32_t TQLA_API SaveFileDataAndConfig(
    char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte,
    uint32_t* storedLength, uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6,
    uint8_t* c7, uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14,
    uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20, uint8_t* c21, uint8_t* c22,
    uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26, uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30,
    uint8_t* c31, uint8_t* c32, uint8_t* c33, uint8_t* c34, uint8_t* c35, uint32_t* w1, uint32_t* w2, uint32_t* w3,
    uint32_t* w4, uint32_t* w5, uint32_t* w6, uint32_t* w7, uint32_t* w8, const char* fileName) {
  return Guarded<int32_t>("SaveFileDataAndConfig", 0, [&] {
    CaptureFileFields fields = Head(t1, t2, t3, t4, t5, t6, t7, t8, headerByte);
    SetConfig(fields, storedLength,
              {c1,  c2,  c3,  c4,  c5,  c6,  c7,  c8,  c9,  c10, c11, c12, c13, c14, c15, c16, c17, c18,
               c19, c20, c21, c22, c23, c24, c25, c26, c27, c28, c29, c30, c31, c32, c33, c34, c35},
              {w1, w2, w3, w4, w5, w6, w7, w8}, nullptr);
    return SaveCurrent(fileName, CaptureLayout::Config, fields) ? 1 : 0;
  });
}

// The stored length is read as a byte count, but only what the buffer's real
// storage holds is stored; the result counts the bytes actually stored.
int32_t TQLA_API OpenFileDataAndConfig(
    char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte,
    uint32_t* storedLength, uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6,
    uint8_t* c7, uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14,
    uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20, uint8_t* c21, uint8_t* c22,
    uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26, uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30,
    uint8_t* c31, uint8_t* c32, uint8_t* c33, uint8_t* c34, uint8_t* c35, uint32_t* w1, uint32_t* w2, uint32_t* w3,
    uint32_t* w4, uint32_t* w5, uint32_t* w6, uint32_t* w7, uint32_t* w8, const char* fileName) {
  return Guarded<int32_t>("OpenFileDataAndConfig", 0, [&] {
    CaptureFileFields fields = Head(t1, t2, t3, t4, t5, t6, t7, t8, headerByte);
    SetConfig(fields, storedLength,
              {c1,  c2,  c3,  c4,  c5,  c6,  c7,  c8,  c9,  c10, c11, c12, c13, c14, c15, c16, c17, c18,
               c19, c20, c21, c22, c23, c24, c25, c26, c27, c28, c29, c30, c31, c32, c33, c34, c35},
              {w1, w2, w3, w4, w5, w6, w7, w8}, nullptr);
    const CaptureFileRead read = ReadCaptureFile(fileName, CaptureLayout::Config, fields, 0, true,
                                                 sampleBuffer.SampleBuffer, SampleStorageBytes(), nullptr, 0);
    if (!read.opened) return 0;
    SetCapturedFromStored(read.blockBytes);
    return static_cast<int32_t>(read.dataBytes);
  });
}

// A second array that was never made is saved as zeros; saving does not
// allocate one.
int32_t TQLA_API SaveFileDataAndConfig16(
    char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte,
    uint32_t* storedLength, uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6,
    uint8_t* c7, uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14,
    uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20, uint8_t* c21, uint8_t* c22,
    uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26, uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30,
    uint8_t* c31, uint8_t* c32, uint8_t* c33, uint8_t* c34, uint8_t* c35, uint32_t* w1, uint32_t* w2, uint32_t* w3,
    uint32_t* w4, uint32_t* w5, uint32_t* w6, uint32_t* w7, uint32_t* w8, uint32_t* w9, uint32_t* w10,
    uint32_t* w11, uint32_t* w12, uint32_t* w13, uint8_t* trailingByte, const char* fileName) {
  return Guarded<int32_t>("SaveFileDataAndConfig16", 0, [&] {
    CaptureFileFields fields = Head(t1, t2, t3, t4, t5, t6, t7, t8, headerByte);
    SetConfig(fields, storedLength,
              {c1,  c2,  c3,  c4,  c5,  c6,  c7,  c8,  c9,  c10, c11, c12, c13, c14, c15, c16, c17, c18,
               c19, c20, c21, c22, c23, c24, c25, c26, c27, c28, c29, c30, c31, c32, c33, c34, c35},
              {w1, w2, w3, w4, w5, w6, w7, w8, w9, w10, w11, w12, w13}, trailingByte);
    return SaveCurrent(fileName, CaptureLayout::Config16, fields) ? 1 : 0;
  });
}

// Both blocks are bounded by real storage: the sample buffer's allocation, and
// a second array grown to what the file holds of the second block, never past
// BufferLength words nor free memory. The result counts the second-block bytes
// actually stored (0 when the second array cannot be allocated).
int32_t TQLA_API OpenFileDataAndConfig16(
    char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte,
    uint32_t* storedLength, uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6,
    uint8_t* c7, uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14,
    uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20, uint8_t* c21, uint8_t* c22,
    uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26, uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30,
    uint8_t* c31, uint8_t* c32, uint8_t* c33, uint8_t* c34, uint8_t* c35, uint32_t* w1, uint32_t* w2, uint32_t* w3,
    uint32_t* w4, uint32_t* w5, uint32_t* w6, uint32_t* w7, uint32_t* w8, uint32_t* w9, uint32_t* w10,
    uint32_t* w11, uint32_t* w12, uint32_t* w13, uint8_t* trailingByte, const char* fileName) {
  return Guarded<int32_t>("OpenFileDataAndConfig16", 0, [&] {
    CaptureFileFields fields = Head(t1, t2, t3, t4, t5, t6, t7, t8, headerByte);
    SetConfig(fields, storedLength,
              {c1,  c2,  c3,  c4,  c5,  c6,  c7,  c8,  c9,  c10, c11, c12, c13, c14, c15, c16, c17, c18,
               c19, c20, c21, c22, c23, c24, c25, c26, c27, c28, c29, c30, c31, c32, c33, c34, c35},
              {w1, w2, w3, w4, w5, w6, w7, w8, w9, w10, w11, w12, w13}, trailingByte);
    const CaptureFileRead read = ReadCaptureFile(fileName, CaptureLayout::Config16, fields, 0, true,
                                                 sampleBuffer.SampleBuffer, SampleStorageBytes(), SecondArrayFor);
    if (!read.opened) return 0;
    SetCapturedFromStored(read.blockBytes);
    return static_cast<int32_t>(read.secondBytes);
  });
}

// With a null storedLength the value is still read and returned.
int32_t TQLA_API GetFileBufferSize(uint32_t* storedLength, const char* fileName) {
  return Guarded<int32_t>("GetFileBufferSize", 0, [&] {
    uint32_t local = 0;
    CaptureFileFields fields;
    fields.storedLength = storedLength ? storedLength : &local;
    const CaptureFileRead read =
        ReadCaptureFile(fileName, CaptureLayout::Config, fields, 0, false, nullptr, 0, nullptr, 0);
    if (!read.opened) return 0;
    return static_cast<int32_t>(*fields.storedLength);
  });
}

}  // extern "C"
