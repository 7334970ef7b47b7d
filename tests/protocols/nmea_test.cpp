// nmea-0183: sentences of a receiver sent 8N1 at 9600 baud, sampled at 1 MHz.
#include <string>
#include <vector>

#include "protocols_fixture.h"

namespace tqla::test {
namespace {

constexpr double kRate = 1e6;
constexpr double kBaud = 9600;
constexpr int kChannel = 7;

// Characters as an ASCII field wider than four of them shows them.
std::string AsciiField(const std::string& text) {
  std::string shown;
  for (unsigned char c : text) {
    if (!shown.empty()) shown += ' ';
    if (c >= 0x20 && c < 0x7F && c != '"' && c != ',') {
      shown += static_cast<char>(c);
    } else {
      shown += '[';
      shown += Hex(c, 1);
      shown += ']';
    }
  }
  return shown;
}

struct Sentence {
  std::string text;    // as sent
  std::string record;  // after the sample index
  std::string shown;   // the part DATA shows
};

class NmeaTest : public ProtocolsTest {
 public:
  // Sends the sentences back to back with noise before them; the last is
  // cut after cutAfter characters when given.
  std::vector<ExpectedPacket> Send(const std::vector<Sentence>& sentences, size_t cutAfter = 0) {
    Lines lines(1u << kChannel);
    double t = SendCharacter(lines, kChannel, 1e-3, kBaud, 0x7E, 8, false);
    std::vector<ExpectedPacket> expected;
    for (size_t s = 0; s < sentences.size(); ++s) {
      const Sentence& sentence = sentences[s];
      const uint32_t sample = SampleAt(t, kRate);
      const bool cut = cutAfter && s + 1 == sentences.size();
      const std::string sent = cut ? sentence.text.substr(0, cutAfter) : sentence.text;
      for (char c : sent) t = SendCharacter(lines, kChannel, t, kBaud, static_cast<uint8_t>(c), 8, false);
      if (cut) break;
      // The packet ends before the LF, or where the next sentence begins.
      std::string inPacket = sentence.text;
      if (!inPacket.empty() && inPacket.back() == '\n') inPacket.pop_back();
      expected.push_back({"NMEA," + std::to_string(sample) + "," + sentence.record + "DATA," +
                              AsciiField(sentence.shown) + ",",
                          HexTokens(std::vector<uint8_t>(inPacket.begin(), inPacket.end()))});
    }
    Use(lines.Render(kRate, 2e-3), lines.idle());
    return expected;
  }

  int32_t Decode() {
    return DecodeASYNC(samples_.data(), out(), 0, length(), 17, 1u << kChannel, static_cast<uint32_t>(kBaud), 0, 8,
                       1, 1, 0, 40, Definition("nmea-0183"), packets(), error_);
  }
};

TEST_F(NmeaTest, SentencesWithTalkerAndTypeNamed) {
  const std::vector<Sentence> sentences = {
      {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n", "TALKER,GPS,SENTENCE,GGA,",
       ",123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"},
      {"$GNRMC,092751.000,A,5321.6802,N,00630.3371,W,0.06,31.66,280511,,,A*45\r\n", "TALKER,GNSS,SENTENCE,RMC,",
       ",092751.000,A,5321.6802,N,00630.3371,W,0.06,31.66,280511,,,A*45"},
      {"!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26\r\n", "TALKER,AIS,SENTENCE,VDM,",
       ",1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26"},
      {"$PGRME,15.0,M,45.0,M,25.0,M*1C\r\n", " ,proprietary,", "GRME,15.0,M,45.0,M,25.0,M*1C"},
      // Unknown talkers and sentence types show the codes of their letters;
      // a wrong checksum is shown as it came.
      {"$XYZDA,201530.00,04,07,2002,00,00*00\r\n", "TALKER,5859,SENTENCE,ZDA,", ",201530.00,04,07,2002,00,00*00"},
      {"$GPQQQ,1,2,3\r\n", "TALKER,GPS,SENTENCE,515151,", ",1,2,3"},
  };
  const auto expected = Send(sentences);
  ASSERT_EQ(Decode(), 1) << error_;
  ExpectPackets(expected);
}

TEST_F(NmeaTest, LostLineEndsAndACutSentence) {
  std::vector<Sentence> sentences = {
      // Without its CR LF a sentence ends where the next begins.
      {"$GPGLL,4916.45,N,12311.12,W,225444,A", "TALKER,GPS,SENTENCE,GLL,", ",4916.45,N,12311.12,W,225444,A"},
      {"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n", "TALKER,GPS,SENTENCE,VTG,",
       ",054.7,T,034.4,M,005.5,N,010.2,K*48"},
      // The last sentence has no LF yet when the capture ends: it is not written.
      {"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n", "", ""},
  };
  const auto expected = Send(sentences, 30);
  ASSERT_EQ(expected.size(), 2u);
  ASSERT_EQ(Decode(), 1) << error_;
  ExpectPackets(expected);
}

}  // namespace
}  // namespace tqla::test
