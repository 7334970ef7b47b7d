#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "data/capture_file.h"
#include "test_support.h"
#include "tqla/tqla_ext.h"

namespace tqla {
namespace {

using test::Le32;
using test::ReadAll;
using test::ScopedBuffer;
using test::TempDir;
using test::WriteAll;

constexpr uint32_t kWords = 65536;
constexpr uint32_t kStorageBytes = kWords * 4;
constexpr CaptureLayout kLayouts[] = {CaptureLayout::Plain, CaptureLayout::Config, CaptureLayout::Config16};

// Everything a host hands the capture-file exports. Each text is a short
// string with older bytes after its terminator.
struct Host {
  char text[8][32];
  uint8_t header, trailing, bytes[35];
  uint32_t stored = kWords, words[13];
  explicit Host(uint8_t seed) : header(seed), trailing(seed ^ 0xA5) {
    for (int i = 0; i < 8; ++i) {
      std::memset(text[i], 'a' + seed + i, sizeof text[i]);
      std::memcpy(text[i], "T", 2);
    }
    for (int i = 0; i < 35; ++i) bytes[i] = static_cast<uint8_t>(seed + i);
    for (int i = 0; i < 13; ++i) words[i] = 0x01000000u * seed + i;
  }
};

template <size_t... B, size_t... W>
int32_t Call(CaptureLayout layout, bool save, Host& h, const std::string& name, std::index_sequence<B...>,
             std::index_sequence<W...>) {
  auto& t = h.text;
  const char* f = name.c_str();
  if (layout == CaptureLayout::Plain)
    return (save ? SaveFileData : OpenFileData)(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], &h.header, f);
  if (layout == CaptureLayout::Config)
    return (save ? SaveFileDataAndConfig : OpenFileDataAndConfig)(
        t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], &h.header, &h.stored, &h.bytes[B]..., &h.words[W]..., f);
  return (save ? SaveFileDataAndConfig16 : OpenFileDataAndConfig16)(
      t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], &h.header, &h.stored, &h.bytes[B]..., &h.words[W]...,
      &h.words[8], &h.words[9], &h.words[10], &h.words[11], &h.words[12], &h.trailing, f);
}
int32_t Save(CaptureLayout l, Host& h, const std::string& f) {
  return Call(l, true, h, f, std::make_index_sequence<35>(), std::make_index_sequence<8>());
}
int32_t Open(CaptureLayout l, Host& h, const std::string& f) {
  return Call(l, false, h, f, std::make_index_sequence<35>(), std::make_index_sequence<8>());
}

void Fill(uint32_t* words, uint32_t count, uint32_t seed) {
  for (uint32_t i = 0; i < count; ++i) words[i] = i * 2654435761u + seed;
}

TEST(CaptureFile, LayoutsAreByteExact) {
  const uint64_t sizes[] = {161 + kWords, 232 + kWords, 253 + 2 * kWords};
  TempDir dir;
  ScopedBuffer buffer(kWords);
  Fill(buffer.get(), kWords, 7);
  for (int l = 0; l < 3; ++l) {
    const bool hadSecond = !ExistingSecondArray().empty();
    Host host(3);
    host.stored = 0x11223344;  // stored as given, independent of the block length
    const std::string name = dir.file("layout");
    ASSERT_EQ(Save(kLayouts[l], host, name), 1);
    const std::vector<uint8_t> file = ReadAll(name);
    ASSERT_EQ(file.size(), sizes[l]);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(0, std::memcmp(&file[20 * i], host.text[i], 20)) << i;
    EXPECT_EQ(file[160], 3);
    const size_t dataAt = file.size() - (l == 2 ? 2 : 1) * kWords;
    EXPECT_EQ(Le32(file, dataAt), buffer[0]);
    EXPECT_EQ(Le32(file, dataAt + kWords - 4), buffer[kWords / 4 - 1]);
    if (l == 0) continue;
    EXPECT_EQ(Le32(file, 161), 0x11223344u);
    EXPECT_EQ(file[165 + 34], host.bytes[34]);
    EXPECT_EQ(Le32(file, 200 + 4 * 7), host.words[7]);
    if (l == 1) continue;
    EXPECT_EQ(Le32(file, 200 + 4 * 12), host.words[12]);
    EXPECT_EQ(file[252], host.trailing);
    // Saving never makes the second array; one that was never made saves as zeros.
    const WordSpan second = ExistingSecondArray();
    EXPECT_EQ(second.empty(), !hadSecond);
    EXPECT_EQ(Le32(file, 253 + kWords), second.empty() ? 0u : second.words[0]);
  }
}

TEST(CaptureFile, EveryLayoutReadsBackWhatItSaved) {
  TempDir dir;
  ScopedBuffer buffer(kWords);
  const WordSpan second = EnsureSecondArray(kWords);
  ASSERT_FALSE(second.empty());
  for (CaptureLayout layout : kLayouts) {
    Fill(buffer.get(), kWords, 11);
    Fill(second.words, kWords, 99);
    const std::vector<uint32_t> saved(buffer.get(), buffer.get() + kWords / 4);
    const std::vector<uint32_t> savedSecond(second.words, second.words + kWords / 4);
    Host host(5), back(9);
    ASSERT_EQ(Save(layout, host, dir.file("round")), 1);
    std::fill_n(buffer.get(), kWords, 0u);
    std::fill_n(second.words, kWords, 0u);
    sampleBuffer.CapturedLength = 1;
    EXPECT_EQ(Open(layout, back, dir.file("round")), static_cast<int32_t>(kWords));
    for (int i = 0; i < 8; ++i) {  // 20 bytes per field, no terminator added
      EXPECT_EQ(0, std::memcmp(back.text[i], host.text[i], 20));
      EXPECT_EQ(back.text[i][20], 'a' + 9 + i);
    }
    EXPECT_EQ(back.header, host.header);
    EXPECT_EQ(sampleBuffer.BufferLength, kWords);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), buffer.get()));
    EXPECT_EQ(buffer[kWords / 4], 0u);  // N bytes cover only the first N/4 words
    if (layout == CaptureLayout::Plain) {
      EXPECT_EQ(sampleBuffer.CapturedLength, 1u);
      continue;
    }
    EXPECT_EQ(sampleBuffer.CapturedLength, kWords);
    EXPECT_TRUE(std::equal(host.bytes, host.bytes + 35, back.bytes));
    const int words = layout == CaptureLayout::Config ? 8 : 13;
    EXPECT_TRUE(std::equal(host.words, host.words + words, back.words));
    if (layout == CaptureLayout::Config16) {
      EXPECT_EQ(back.trailing, host.trailing);
      EXPECT_TRUE(std::equal(savedSecond.begin(), savedSecond.end(), second.words));
    } else {
      EXPECT_NE(back.words[8], host.words[8]);  // not part of this layout
    }
  }
}

TEST(CaptureFile, ShortFilesKeepWhatTheyCannotDeliver) {
  TempDir dir;
  ScopedBuffer buffer(kWords);
  const std::string name = dir.file("short");
  for (uint32_t dataBytes : {100u, 0u}) {  // plain data block shorter than BufferLength
    WriteAll(name, std::vector<uint8_t>(161 + dataBytes, 0x5A));
    sampleBuffer.BufferLength = kWords;
    Host host(1);
    EXPECT_EQ(Open(CaptureLayout::Plain, host, name), static_cast<int32_t>(dataBytes));
    EXPECT_EQ(sampleBuffer.BufferLength, dataBytes);
  }
  buffer[0] = 0xDEADBEEF;
  WriteAll(name, std::vector<uint8_t>(30, 'x'));  // truncated head
  for (CaptureLayout layout : kLayouts) {
    Host host(4);
    EXPECT_EQ(Open(layout, host, name), 0);
    EXPECT_EQ(std::string(host.text[1], 10), std::string(10, 'x'));
    EXPECT_EQ(host.text[1][10], 'a' + 4 + 1);
    EXPECT_EQ(host.stored, kWords);
    EXPECT_EQ(buffer[0], 0xDEADBEEFu);
  }
  uint32_t stored = 777;
  EXPECT_EQ(GetFileBufferSize(&stored, name.c_str()), 777);
  Host host(2);
  host.stored = 123456;
  ASSERT_EQ(Save(CaptureLayout::Config16, host, name), 1);
  EXPECT_EQ(GetFileBufferSize(&stored, name.c_str()), 123456);
  EXPECT_EQ(stored, 123456u);
  EXPECT_EQ(GetFileBufferSize(nullptr, name.c_str()), 123456);
}

// Stored lengths far beyond the allocation store only what the storage holds
// and allocate only what the file holds.
TEST(CaptureFile, HostileStoredLengthsStayInsideStorage) {
  TempDir dir;
  ScopedBuffer buffer(kWords);
  const std::string name = dir.file("hostile");
  const uint32_t block = 300000;  // more than the 262144 bytes of storage
  std::vector<uint8_t> bytes(253 + 2 * block);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  std::memcpy(&bytes[161], &block, 4);
  WriteAll(name, bytes);
  Host host(0);
  EXPECT_EQ(Open(CaptureLayout::Config, host, name), static_cast<int32_t>(kStorageBytes));
  EXPECT_EQ(host.stored, block);
  EXPECT_EQ(sampleBuffer.CapturedLength, kWords);
  EXPECT_EQ(Open(CaptureLayout::Config16, host, name), static_cast<int32_t>(kStorageBytes));
  const WordSpan second = ExistingSecondArray();
  ASSERT_GE(second.length, kWords);
  EXPECT_EQ(0, std::memcmp(second.words, &bytes[253 + block], kStorageBytes));

  std::memset(&bytes[161], 0xFF, 4);
  WriteAll(name, bytes);
  EXPECT_EQ(Open(CaptureLayout::Config, host, name), static_cast<int32_t>(kStorageBytes));
  // Its second block lies past the end: even with a BufferLength as huge (a
  // host's, or one an earlier file set), the second array does not grow.
  sampleBuffer.BufferLength = 0xFFFFFFF0u;
  const uint32_t before = ExistingSecondArray().length;
  EXPECT_EQ(Open(CaptureLayout::Config16, host, name), 0);
  EXPECT_EQ(ExistingSecondArray().length, before);
  sampleBuffer.BufferLength = kWords;
}

// Every reader of the data files changes nothing when a file is missing, and
// refuses what is not a regular file: a FIFO without a writer would block it,
// /dev/zero never ends, and a folder opens on some systems.
TEST(CaptureFile, ReadersTakeOnlyRegularFiles) {
  TempDir dir;
  ScopedBuffer buffer(kWords);
  buffer[0] = 0xDEADBEEF;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (std::string path : {dir.file("missing"), dir.path().string(), fifo, std::string("/dev/zero")}) {
    for (CaptureLayout layout : kLayouts) {
      Host host(4);
      EXPECT_EQ(Open(layout, host, path), 0) << path;
      EXPECT_EQ(host.header, 4) << path;
    }
    uint32_t stored = 5;
    EXPECT_EQ(GetFileBufferSize(&stored, path.c_str()), 0) << path;
    EXPECT_EQ(stored, 5u);
    EXPECT_EQ(ExtractBufferFromFile(path.data(), 16), 0) << path;
    if (path != dir.file("missing")) {
      EXPECT_EQ(TqlaLastError(), path + " is not a regular file");
    }
    EXPECT_EQ(Paste(path.data(), 0), 0) << path;
    EXPECT_EQ(Undo(path.data()), 0) << path;
    EXPECT_EQ(buffer[0], 0xDEADBEEFu) << path;
    EXPECT_EQ(sampleBuffer.BufferLength, kWords) << path;
  }
}

// A full disk fails every writer: /dev/full refuses every byte, and a file
// size limit cuts a regular file short part way.
TEST(CaptureFile, WritersReportAFullDisk) {
  TempDir dir;
  ScopedBuffer buffer(kWords);
  std::string full = "/dev/full";
  for (CaptureLayout layout : kLayouts) {
    Host host(1);
    EXPECT_EQ(Save(layout, host, full), 0);
    EXPECT_EQ(Save(layout, host, dir.file("no/such/dir")), 0);
  }
  EXPECT_EQ(Copy(full.data(), 0, 10), 0);
  EXPECT_STREQ(TqlaLastError(), "Writing /dev/full failed: No space left on device");
  EXPECT_EQ(SaveUndo(full.data(), 0, 10), 0);
  EXPECT_EQ(AppendSampleData(full.data()), 0);
  EXPECT_EQ(AppendBetweenSampleData(full.data(), 0, 5), 0);

  std::string cut = dir.file("cut");
  EXPECT_EQ(test::WithFileSizeLimit(4096, [&] {
              Host host(1);
              return Save(CaptureLayout::Config16, host, cut);
            }), 0);
  EXPECT_EQ(ReadAll(cut).size(), 4096u) << "cut short where the limit stood";
  EXPECT_EQ(test::WithFileSizeLimit(8192, [&] { return AppendSampleData(cut.data()); }), 0);
  EXPECT_EQ(test::WithFileSizeLimit(4096, [&] { return Copy(cut.data(), 0, 2000); }), 0);
}

// The CLI saves the whole capture (4 bytes per word) into arrays of its own.
TEST(CaptureFile, InterfaceWithChosenBlockLength) {
  TempDir dir;
  std::vector<uint32_t> words(1000), second(600), back(1000), backSecond(1000, 0xAB);
  Fill(words.data(), 1000, 1);
  Fill(second.data(), 600, 2);
  const std::string name = dir.file("cli");
  CaptureFileFields fields;
  ASSERT_TRUE(WriteCaptureFile(name.c_str(), CaptureLayout::Config16, fields, 4000, words.data(), 4000,
                               second.data(), 2400));
  EXPECT_EQ(ReadAll(name).size(), 253u + 8000);
  const CaptureFileRead read = ReadCaptureFile(name.c_str(), CaptureLayout::Config16, fields, 4000, false,
                                               back.data(), 4000, backSecond.data(), 4000);
  EXPECT_EQ(read.dataBytes + read.secondBytes, 8000u);
  EXPECT_EQ(back, words);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), backSecond.begin()));
  EXPECT_EQ(backSecond[600], 0u);  // zero-padded past what the second array held
}

}  // namespace
}  // namespace tqla
