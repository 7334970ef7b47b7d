// Packet lists: loading packet record files and looking up their pairs.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "packets_fixture.h"

namespace tqla::test {
namespace {

class PacketList : public PacketsTest {
 protected:
  void TearDown() override {
    for (char slot = 0; slot < 4; ++slot) UnLoadPackets(slot);
    PacketsTest::TearDown();
  }
  int Load(char slot, const std::string& path) { return LoadPackets(slot, const_cast<char*>(path.c_str())); }
  // "label=value" of a pair, with "-" for an absent text.
  std::string Pair(char slot, int packet, int pair) {
    char label[256] = "-";
    char value[256] = "-";
    LookupLabel(slot, label, packet, pair);
    LookupValue(slot, value, packet, pair);
    return std::string(label) + "=" + value;
  }
};

TEST_F(PacketList, LoadsPairsOfEveryFinishedRecord) {
  ASSERT_EQ(Load(0, RecordPath("mixed.txt")), 4);  // the last line has no EoP
  EXPECT_EQ(Pair(0, 0, 0), "PROTO=1200");
  EXPECT_EQ(Pair(0, 0, 1), "SYNC=55");
  EXPECT_EQ(Pair(0, 0, 2), "EoP=-");
  EXPECT_EQ(Pair(0, 0, 3), "300=350");
  EXPECT_EQ(Pair(0, 0, 4), "-=-");
  char text[16] = "unchanged";
  EXPECT_EQ(LookupValue(0, text, 0, 2), 0);
  EXPECT_STREQ(text, "unchanged");
  // An empty value yields no token: the rest of that packet shifts by one.
  EXPECT_EQ(Pair(0, 3, 1), "A=B");
  EXPECT_EQ(Pair(0, 3, 2), "3=EoP");
  EXPECT_EQ(LookupValue(0, text, 4, 0), 0);  // packet index equal to the count
  EXPECT_STREQ(text, "unchanged");
}

TEST_F(PacketList, CrLfAndTextOnlyFields) {
  ASSERT_EQ(Load(1, RecordPath("crlf.txt")), 2);
  EXPECT_EQ(Pair(1, 0, 1), " =Hello there");
  EXPECT_EQ(Pair(1, 1, 0), "P=20");
  EXPECT_EQ(Pair(1, 1, 3), "7=15");
}

TEST_F(PacketList, ReadsBackWhatTheEngineWrote) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[DEBUG]\nDEBUGON\n[FIELDS]\nFIELDS A.8.H $note\n"), 1);
  Bytes({0x12, 0x34});
  Records();
  ASSERT_EQ(Load(2, output_), 4);  // three debug records around one packet record
  EXPECT_EQ(Pair(2, 0, 0), "Packet Debug= ");
  EXPECT_EQ(Pair(2, 0, 1), "DATA=12");
  EXPECT_EQ(Pair(2, 0, 2), "DATA=34");  // the scan stands past the packet
  EXPECT_EQ(Pair(2, 0, 4), "1=10");
  EXPECT_EQ(Pair(2, 2, 0), "P=100");
  EXPECT_EQ(Pair(2, 2, 1), "A=12");
  EXPECT_EQ(Pair(2, 2, 2), " =note");
  EXPECT_EQ(Pair(2, 2, 4), "0=0");
}

TEST_F(PacketList, OutOfInterfaceCallsAreSafe) {
  EXPECT_EQ(Load(4, RecordPath("mixed.txt")), 0);
  EXPECT_EQ(Load(-1, RecordPath("mixed.txt")), 0);
  // Only regular files load: a FIFO without a writer would block the load for
  // ever, /dev/zero never ends, a folder has a size that misleads.
  const std::string fifo = dir_.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir_.file("missing.txt"), dir_.path().string(), fifo, std::string("/dev/zero")}) {
    EXPECT_EQ(Load(0, path), 0) << path;
    EXPECT_EQ(Pair(0, 0, 0), "-=-") << path;
  }
  EXPECT_EQ(LoadPackets(0, nullptr), 0);
  EXPECT_EQ(UnLoadPackets(9), 0);
  ASSERT_EQ(Load(0, RecordPath("mixed.txt")), 4);
  ASSERT_EQ(Load(0, RecordPath("crlf.txt")), 2);  // reloading replaces the list
  EXPECT_EQ(Pair(0, 0, 0), "P=10");
  char text[16];
  for (auto [packet, pair] : {std::pair{-1, 0}, std::pair{0, -1}, std::pair{0, 64}, std::pair{2, 0}}) {
    EXPECT_EQ(LookupLabel(0, text, packet, pair), 0);
  }
  EXPECT_EQ(LookupLabel(7, text, 0, 0), 0);
  EXPECT_EQ(LookupLabel(0, nullptr, 0, 0), 0);
  // A packet of more pointers than a packet holds keeps its first ones.
  std::string line = "P,1";
  for (int i = 0; i < 200; ++i) line += ",F" + std::to_string(i) + ",V";
  ASSERT_EQ(Load(3, Write("long.txt", line + ",EoP, ,1,2\nQ,2,EoP, ,3,4\n")), 2);
  EXPECT_EQ(Pair(3, 0, 63), "F62=V");
  EXPECT_EQ(Pair(3, 1, 0), "Q=2");
  EXPECT_EQ(UnLoadPackets(3), 1);
  EXPECT_EQ(Pair(3, 1, 0), "-=-");
  EXPECT_EQ(UnLoadPackets(3), 1);
}

TEST_F(PacketList, TextsAreCutToTheDocumentedBufferSize) {
  const std::string label(65600, 'L'), value(70000, 'V');
  ASSERT_EQ(Load(0, Write("huge.txt", "P,1," + label + "," + value + ",EoP, ,1,2\n")), 1);
  // A buffer of exactly the documented size: a longer copy is a heap overflow.
  std::vector<char> text(TQLA_PACKET_TEXT_SIZE);
  ASSERT_EQ(LookupLabel(0, text.data(), 0, 1), 1);
  EXPECT_EQ(std::string(text.data()), label.substr(0, TQLA_PACKET_TEXT_SIZE - 1));
  ASSERT_EQ(LookupValue(0, text.data(), 0, 1), 1);
  EXPECT_EQ(std::string(text.data()), value.substr(0, TQLA_PACKET_TEXT_SIZE - 1));

  // The sized lookups tell the whole length and copy what fits.
  EXPECT_EQ(TqlaLookupLabelSized(0, nullptr, 0, 0, 1), TQLA_PACKET_TEXT_SIZE - 1);
  char small[5] = "xxxx";
  EXPECT_EQ(TqlaLookupValueSized(0, small, 0, 0, 1), TQLA_PACKET_TEXT_SIZE - 1);
  EXPECT_STREQ(small, "xxxx") << "size 0 copies nothing";
  EXPECT_EQ(TqlaLookupValueSized(0, small, sizeof small, 0, 0), 1);
  EXPECT_STREQ(small, "1");
  EXPECT_EQ(TqlaLookupLabelSized(0, small, sizeof small, 0, 1), TQLA_PACKET_TEXT_SIZE - 1);
  EXPECT_STREQ(small, "LLLL");
  EXPECT_EQ(TqlaLookupValueSized(0, small, sizeof small, 0, 2), -1) << "EoP has no value";
  EXPECT_EQ(TqlaLookupLabelSized(0, small, sizeof small, 1, 0), -1) << "past the packet count";
  EXPECT_EQ(TqlaLookupLabelSized(9, small, sizeof small, 0, 0), -1);
  EXPECT_STREQ(small, "LLLL");
}

}  // namespace
}  // namespace tqla::test
