// The streams demonstration source decodes, at 1 MHz and with its documented
// wiring, to the traffic it was drawn with.
#include <gtest/gtest.h>

#include <algorithm>

#include "capture/capture_state.h"
#include "decoders/decoder_state.h"
#include "sim/signal_source.h"
#include "test_support.h"

namespace tqla::test {
namespace {

class StreamsSource : public ::testing::Test {
 protected:
  void SetUp() override {
    words_ = sim::MakeGenerated(sim::Generator::Streams)->words;
    UseHostBuffer(words_, static_cast<uint32_t>(words_.size()));
    ResetCapture();
    ResetDecoders();
    DecodeSetName(const_cast<char*>("D"));
  }
  void TearDown() override { SetCurrentBuffer(nullptr, 0, 0); }
  uint8_t* out() { return reinterpret_cast<uint8_t*>(path_.data()); }
  std::string Records() { return ReadCrLfText(path_); }
  int32_t end() const { return static_cast<int32_t>(words_.size()); }

  TempDir dir_;
  std::string path_ = dir_.file("records.txt");
  std::vector<uint32_t> words_;
  char error_[256] = {};
};

TEST_F(StreamsSource, EachBusDecodesAtOneMegahertz) {
  ASSERT_EQ(Decode1Wire(words_.data(), out(), 0, end(), TQLA_RATE_1MHZ, 0, TQLA_DELIMITER_COMMA, 1, TQLA_FORMAT_HEX,
                        nullptr, nullptr, error_),
            1);
  std::string text = Records();
  // The ROM read: family 28, serial number, CRC; the conversion; the
  // scratchpad read of 21.0 degrees, ending in its CRC.
  EXPECT_NE(text.find("Presence Pulse 33,28,5A,3C,71,0B,00,00,"), std::string::npos) << text.substr(0, 400);
  EXPECT_NE(text.find("Presence Pulse CC,44,\n"), std::string::npos);
  EXPECT_NE(text.find("Presence Pulse CC,BE,50,01,4B,46,7F,FF,0C,10,"), std::string::npos);

  // Left sine, right cosine. Word select starts low, so the first word is
  // the left one of the second frame; the last frame's right word would end
  // past the last sample.
  ASSERT_EQ(DecodeI2S(words_.data(), out(), 0, end(), TQLA_RATE_1MHZ, 3, 1, 0, 0, 2, 0, 1, 1, 16, 1,
                      TQLA_DELIMITER_COMMA, TQLA_FORMAT_DECIMAL, 2, nullptr, nullptr, error_),
            1);
  text = Records();
  EXPECT_EQ(text.substr(text.find(", D, ") + 5, 11), "2341,11769,") << text.substr(0, 200);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(words_.size() / 256 - 1));

  ASSERT_EQ(DecodeSerial(words_.data(), out(), 0, end(), TQLA_RATE_1MHZ, 5, 0, 0, 6, 1, 4, 1, 9, 1,
                         TQLA_DELIMITER_COMMA, 0, 4, nullptr, nullptr, error_),
            1);
  text = Records();
  EXPECT_EQ(text.substr(text.find(", D, ") + 5, 17), "100,000,005,05A,\n") << text.substr(0, 200);
  EXPECT_NE(text.find(", D, 101,007,012,05A,\n"), std::string::npos);

  ASSERT_EQ(DecodeParallel(words_.data(), out(), 0, end(), TQLA_RATE_1MHZ, 0xFF00, 7, 1, TQLA_EDGE_FALLING,
                           TQLA_DELIMITER_COMMA, TQLA_FORMAT_HEX, 8, nullptr, nullptr, error_),
            1);
  text = Records();
  EXPECT_EQ(text.substr(text.find(", D, ") + 5, 24), "74,71,6C,61,20,70,61,72,") << text.substr(0, 200);
}

}  // namespace
}  // namespace tqla::test
