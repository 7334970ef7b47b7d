#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace tqla {
namespace {

using test::ReadAll;
using test::TempDir;
using test::UseHostBuffer;

const std::string kHeader = "Digital0-F, CH1, CH2\n";

TEST(TextExport, LinesAndRanges) {
  TempDir dir;
  std::vector<uint32_t> words{0x80FF0012, 0x00000000, 0x7F81ABCD, 0xFFFFFFFF};
  UseHostBuffer(words, 4);
  const std::string lines[] = {"0x0012,  9.92,  0.00\n", "0x0000, -10.00, -10.00\n", "0xABCD,  0.08, -0.08\n",
                               "0xFFFF,  9.92,  9.92\n"};
  struct Case {
    uint32_t first, last;
    std::string text;
  } cases[] = {
      {0, 3, kHeader + lines[0] + lines[1] + lines[2]},
      {3, 0, kHeader + lines[0] + lines[1] + lines[2]},
      {2, 2, kHeader},
      {2, 1000, kHeader + lines[2] + lines[3]},  // past the end: up to the last word
      {900, 1000, kHeader},
  };
  std::string name = dir.file("export.txt");
  for (const Case& c : cases) {
    EXPECT_EQ(OutputSampleData(name.data(), c.first, c.last), 1);
    const std::vector<uint8_t> bytes = ReadAll(name);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.text) << c.first << ".." << c.last;
  }
  EXPECT_EQ(OutputSampleData(dir.file("no/dir").data(), 0, 3), 1);
}

}  // namespace
}  // namespace tqla
