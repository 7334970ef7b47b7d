#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "test_support.h"

namespace tqla {
namespace {

using test::Le32;
using test::ReadAll;
using test::TempDir;
using test::UseHostBuffer;
using test::WriteAll;

constexpr uint32_t kLength = 300;

struct RangeFileTest : ::testing::Test {
  TempDir dir;
  std::vector<uint32_t> words = std::vector<uint32_t>(kLength);
  std::string clip = dir.file("clip");
  void SetUp() override {
    std::iota(words.begin(), words.end(), 0x1000u);
    UseHostBuffer(words, kLength);
  }
  int32_t PasteAt(int32_t at) { return Paste(clip.data(), at); }
};

TEST_F(RangeFileTest, CopyOrdersAndClampsTheRange) {
  struct Case {
    int32_t first, last;
    uint32_t storedFirst, storedLast;
  } cases[] = {{10, 5, 5, 10}, {290, 5000, 290, kLength - 1}, {-7, -3, 0, 0}, {INT32_MIN, INT32_MAX, 0, kLength - 1}};
  for (const Case& c : cases) {
    ASSERT_EQ(Copy(clip.data(), c.first, c.last), 1);
    const std::vector<uint8_t> file = ReadAll(clip);
    const uint32_t count = c.storedLast - c.storedFirst + 1;
    ASSERT_EQ(file.size(), 8 + 4 * count) << c.first;
    EXPECT_EQ(Le32(file, 0), c.storedFirst);
    EXPECT_EQ(Le32(file, 4), c.storedLast);
    EXPECT_EQ(Le32(file, 8), words[c.storedFirst]);
    EXPECT_EQ(Le32(file, file.size() - 4), words[c.storedLast]);
  }
  EXPECT_EQ(ReadAll(clip).size(), 8 + 4 * kLength);
  EXPECT_EQ(Copy(dir.file("no/dir").data(), 0, 1), 0);
}

TEST_F(RangeFileTest, PasteStoresWhatFitsBeforeTheEnd) {
  ASSERT_EQ(Copy(clip.data(), 10, 15), 1);  // 6 words
  EXPECT_EQ(PasteAt(kLength - 2), 2);
  EXPECT_EQ(words[kLength - 2], 0x1000u + 10);
  EXPECT_EQ(words[kLength - 1], 0x1000u + 11);
  EXPECT_EQ(PasteAt(100000), 1);  // clamped to the last word
  EXPECT_EQ(PasteAt(-5), 6);
  EXPECT_EQ(words[0], 0x1000u + 10);
  EXPECT_EQ(words[5], 0x1000u + 15);
  EXPECT_EQ(words[6], 0x1000u + 6);
  EXPECT_EQ(Paste(dir.file("missing").data(), 0), 0);
}

TEST_F(RangeFileTest, UndoRestoresTheSavedRange) {
  const std::vector<uint32_t> before = words;
  std::string undo = dir.file("undo");
  ASSERT_EQ(SaveUndo(undo.data(), 100, 199), 1);
  std::fill(words.begin(), words.end(), 0u);
  EXPECT_EQ(Undo(undo.data()), 100);
  EXPECT_TRUE(std::equal(words.begin() + 100, words.begin() + 200, before.begin() + 100));
  EXPECT_EQ(words[99], 0u);
  EXPECT_EQ(words[200], 0u);
  EXPECT_EQ(Undo(dir.file("missing").data()), 0);
}

// Indexes far outside the buffer and word blocks shorter than they promise.
TEST_F(RangeFileTest, HostileRangeFilesStayInsideTheBuffer) {
  auto rangeFile = [&](int32_t first, int32_t last, std::vector<uint32_t> body) {
    std::vector<uint8_t> bytes(8 + 4 * body.size());
    std::memcpy(&bytes[0], &first, 4);
    std::memcpy(&bytes[4], &last, 4);
    if (!body.empty()) std::memcpy(&bytes[8], body.data(), 4 * body.size());
    WriteAll(clip, bytes);
  };
  rangeFile(-1000000, INT32_MAX, std::vector<uint32_t>(kLength + 50, 0xEEEEEEEEu));
  EXPECT_EQ(Undo(clip.data()), static_cast<int32_t>(kLength));
  EXPECT_EQ(PasteAt(kLength - 1), 1);
  rangeFile(INT32_MAX, INT32_MAX, {0xAAAAAAAAu, 0xBBBBBBBBu});
  EXPECT_EQ(Undo(clip.data()), 1);
  EXPECT_EQ(words[kLength - 1], 0xAAAAAAAAu);
  rangeFile(5, 50, {1, 2, 3});  // 46 promised, 3 there
  EXPECT_EQ(PasteAt(20), 3);
  EXPECT_EQ(words[22], 3u);
  WriteAll(clip, {1, 0, 0, 0});  // not even both indexes
  EXPECT_EQ(PasteAt(0), 0);
  EXPECT_EQ(Undo(clip.data()), 0);
}

TEST(RangeFile, EmptyBufferIsLeftAlone) {
  TempDir dir;
  std::vector<uint32_t> none;
  UseHostBuffer(none, 0);
  std::string clip = dir.file("clip");
  EXPECT_EQ(Copy(clip.data(), 0, 5), 0);
  EXPECT_EQ(SaveUndo(clip.data(), 0, 5), 0);
  EXPECT_FALSE(std::filesystem::exists(clip));
  WriteAll(clip, std::vector<uint8_t>(20, 0));
  EXPECT_EQ(Paste(clip.data(), 0), 0);
  EXPECT_EQ(Undo(clip.data()), 0);
}

}  // namespace
}  // namespace tqla
