// A test of a protocol definition of the library: bus traffic synthesized from
// a list of messages, decoded with the definition, and every packet record
// compared with what the messages say it holds.
#pragma once

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "decoders/decoders_fixture.h"
#include "decoders/waveforms.h"

namespace tqla::test {

inline std::string DefinitionPath(const std::string& name) {
  return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "protocols" / (name + ".txt"))
      .string();
}

// The first sample that shows a line change made at time t.
inline uint32_t SampleAt(double t, double rate) {
  auto k = static_cast<int64_t>(std::ceil(t * rate));
  while (k > 0 && t <= static_cast<double>(k - 1) / rate) --k;
  while (t > static_cast<double>(k) / rate) ++k;
  return static_cast<uint32_t>(k);
}

inline std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// A field's bytes as the packet engine writes a hexadecimal field over them:
// up to four bytes as one number, more as bytes with blanks between.
inline std::string HexField(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    if (bytes.size() > 4 && !text.empty()) text += ' ';
    text += Hex(b, 2);
  }
  return text;
}

inline std::vector<std::string> HexTokens(const std::vector<uint8_t>& bytes) {
  std::vector<std::string> tokens;
  for (uint8_t b : bytes) tokens.push_back(Hex(b, 2));
  return tokens;
}

// Another bus's traffic on channel from from to to: a decoder that feeds the
// packet engine sends no events of it unless a definition asks.
inline void OtherTraffic(Lines& lines, int channel, double from, double to) {
  bool high = true;
  for (double t = from; t < to; t += 37e-6) lines.At(t, channel, high = !high);
}

struct ExpectedPacket {
  std::string record;               // the record up to "EoP", e.g. "MODBUS,1234,ADDR,17,"
  std::vector<std::string> values;  // what the decoder wrote between the record's two offsets
  bool prefix = false;              // values only begin the text: a higher layer's record, whose offsets
                                    // end where the packet below ends, or a decoder's record of more fields
};

class ProtocolsTest : public DecodersTest {
 public:
  char* Definition(const std::string& name) {
    definition_ = DefinitionPath(name);
    return definition_.data();
  }

  // Compares packets.txt with expected, record by record; each record's
  // offsets must enclose the decoder's text of its values in records.txt (the
  // hexadecimal numbers there, without headers and markers).
  void ExpectPackets(const std::vector<ExpectedPacket>& expected) {
    const std::vector<uint8_t> raw = ReadAll(dir_.file("records.txt"));
    const std::string records(raw.begin(), raw.end());
    std::istringstream lines(Read("packets.txt"));
    size_t n = 0;
    for (std::string line; std::getline(lines, line); ++n) {
      SCOPED_TRACE(line);
      if (n >= expected.size()) {
        ADD_FAILURE() << "a record beyond the " << expected.size() << " expected";
        continue;
      }
      const size_t eop = line.rfind("EoP, ,");
      ASSERT_NE(eop, std::string::npos);
      EXPECT_EQ(line.substr(0, eop), expected[n].record);
      size_t start = 0, end = 0;
      ASSERT_EQ(std::sscanf(line.c_str() + eop + 6, "%zu,%zu", &start, &end), 2);
      ASSERT_LE(start, end);
      ASSERT_LE(end, records.size());
      std::vector<std::string> values = HexNumbers(records.substr(start, end - start));
      if (expected[n].prefix && values.size() > expected[n].values.size()) values.resize(expected[n].values.size());
      EXPECT_EQ(values, expected[n].values) << "records.txt from " << start << " to " << end;
    }
    EXPECT_EQ(n, expected.size());
  }

 private:
  static std::vector<std::string> HexNumbers(const std::string& text) {
    std::vector<std::string> numbers;
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = std::min(text.find_first_of(" ,\r\n", at), text.size());
      const std::string token = text.substr(at, end - at);
      if (!token.empty() && token.find_first_not_of("0123456789ABCDEF") == std::string::npos) numbers.push_back(token);
      at = end + 1;
    }
    return numbers;
  }

  std::string definition_;
};

}  // namespace tqla::test
