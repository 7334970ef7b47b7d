// The record writing path without printf: fixed-point timestamp text against
// the C library's, and the record buffer's line ends and offsets.
#include <cmath>
#include <random>

#include "decoders/fixed_text.h"
#include "packets/packets_state.h"
#include "decoders_fixture.h"

namespace tqla::test {
namespace {

using decoders::FormatFixed;

TEST(FixedText, SameCharactersAsPrintf) {
  const struct {
    int width, precision;
  } formats[] = {{5, 1}, {8, 4}, {11, 7}, {0, 0}, {1, 3}, {12, 9}};
  std::vector<double> values = {0.0,   -0.0,   0.05,  0.25,   0.75,    1.25,    2.5,      -2.5,  0.5,
                                1.5,   9.95,   9.96,  -9.96,  999.95,  1e-300,  -1e-300,  4e-7,  123456.125,
                                0.125, 0.0625, 1e10,  -1e10,  1.7e10,  2.5e-5,  99.99995, 1e15,  1e300};
  // Times as the timestamps compute them: a sample difference over a rate,
  // scaled to its unit.
  std::mt19937_64 random(7);
  const double rates[] = {24e6, 16e6, 12e6, 8e6, 6e6, 4e6, 3e6, 2e6, 1e6};
  for (int n = 0; n < 25000; ++n) {
    const auto difference = static_cast<int64_t>(random() % (1ull << 33)) - (1ll << 32);
    const double seconds = static_cast<double>(difference >> (random() % 33)) / rates[random() % 9];
    for (double scale : {1e9, 1e6, 1000.0, 1.0}) values.push_back(seconds * scale);
  }
  // Exact ties at every precision, and doubles of any size.
  for (int n = 0; n < 5000; ++n) {
    values.push_back(std::ldexp(static_cast<double>(random() % 100000) * 2 + 1, -static_cast<int>(random() % 12)));
    values.push_back(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 140) - 100) *
                     (random() & 1 ? 1 : -1));
  }
  char ours[64], theirs[64];
  int mismatches = 0;
  for (const auto& f : formats) {
    for (double x : values) {
      const size_t length = FormatFixed(ours, sizeof ours, x, f.width, f.precision);
      std::snprintf(theirs, sizeof theirs, "%*.*f", f.width, f.precision, x);
      if (std::string(ours) != theirs || length != std::strlen(theirs)) {
        if (++mismatches < 10) ADD_FAILURE() << "%" << f.width << "." << f.precision << "f of " << x << ": " << ours;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Text that would not fit gives what fits, cut like snprintf.
  EXPECT_EQ(FormatFixed(ours, 8, 1e20, 5, 1), 7u);
  EXPECT_STREQ(ours, "1000000");
}

TEST(RecordBuffer, LineEndsAndOffsets) {
  TempDir dir;
  const std::string path = dir.file("records.txt");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  packets::streamPosition.RecordOffset = 5;
  {
    decoders::RecordBuffer text;
    text.Open(file);
    text.Add("a\nb\n", 4);
    text.AddPlain("cd", 2);
    // Pieces larger than the buffer go out whole, in order.
    const std::string big(100000, 'x');
    text.AddPlain(big.data(), big.size());
    text.AddFilled(3, [](char* at) {
      at[0] = 'y';
      return size_t{1};
    });
    text.Release();
  }
  std::fclose(file);
  const auto bytes = ReadAll(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "a\r\nb\r\ncd" + std::string(100000, 'x') + "y");
  EXPECT_EQ(packets::streamPosition.RecordOffset, 5u + bytes.size());
}

}  // namespace
}  // namespace tqla::test
