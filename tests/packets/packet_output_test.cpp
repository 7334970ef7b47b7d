// Packet output: line selection, value formats, records and layers.
#include <string>

#include "packets_fixture.h"
#include "packets/packets_state.h"

namespace tqla::test {
namespace {

using PacketOutput = PacketsTest;

// A protocol P whose packets run from a data entry to the event 2.
std::string EndOnEvent2(const std::string& fields, const std::string& more = "") {
  return "[PROTOCOL]\nNAME = P\n[END]\nTYPE = EVENT\nEVENT = 2\n" + more + "[FIELDS]\n" + fields + "\n";
}

TEST_F(PacketOutput, ValueFormats) {
  const struct {
    const char* fields;
    std::initializer_list<uint8_t> bytes;
    const char* record;
  } cases[] = {
      {"FIELDS SYNC.8.H ADDR.8.H", {0x55, 0xA3}, "SYNC,55,ADDR,A3,"},
      {"FIELDS A.7.H B.4.H C.12.H", {0xFF, 0xFF, 0xFF}, "A,7F,B,F,C,FFF,"},
      {"FIELDS W.16B.H", {0x12, 0x34}, "W,3412,"},
      {"FIELDS W.16L.H", {0x12, 0x34}, "W,2C48,"},
      {"FIELDS W.24B.H V.32B.H", {1, 2, 3, 1, 2, 3, 4}, "W,030201,V,04030201,"},
      {"FIELDS W.40.H", {1, 2, 3, 4, 5}, "W,01 02 03 04 05,"},
      {"FIELDS T.8.D*0.5 U.8.D/2", {7, 7}, "T,3.5,U,3,"},
      {"FIELDS T.8.D*0.25+10$ C", {7}, "T,11.75 C,"},
      {"FIELDS T.8.D-200", {7}, "T,-193,"},
      {"FIELDS C.8.A D.8.A E.8.A F.8.A", {0x2C, 0x41, 0x22, 0x0A}, "C,[2C],D,A,E,[22],F,[A],"},
      {"FIELDS B.5.B T.1.TF F.1.TF", {0xAC}, "B,10101,T,True,F,False,"},
      {"FIELDS A.4.H H.4.HI N.8.X $Text here", {0x12, 0x34}, "A,1,N,, ,Text here,"},
      {"FIELDS A.8.H$ volts", {0x12}, "A,12 volts,"},
      {"FIELDS A.4.H B.N.H", {0x12, 0x34}, "A,1,B,234,"},
      {"FIELDS S.8.H X.8Y.H", {0x12}, "S,12,X,00,"},
      // A value past 32 signed bits keeps its low 32 bits, in every radix.
      {"FIELDS C.32.H D.32.D", {0xDE, 0xAD, 0xBE, 0xEF, 0xFF, 0xFF, 0xFF, 0xFE}, "C,DEADBEEF,D,-2,"},
      {"FIELDS B.32.B", {0x80, 0, 0, 1}, "B,10000000000000000000000000000001,"},
      {"FIELDS S.8.H*33554432+1", {0x81}, "S,2000001,"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fields);
    ASSERT_EQ(Init(EndOnEvent2(c.fields)), 1) << error_;
    sample_ = 100;
    offset_ = 0;
    for (uint8_t b : c.bytes) Data(b);
    packets::streamPosition.RecordOffset = 77;
    Event(2);
    const std::string expected = std::string("P,100,") + c.record + "EoP, ,0,77\n";
    EXPECT_EQ(Records(), expected);
    packets::streamPosition.RecordOffset = 0;
  }
}

TEST_F(PacketOutput, LookupLabelsAndFallBackToTheRadix) {
  ASSERT_EQ(Init(EndOnEvent2("FIELDS CMD.8.L\nLOOKUP CMD\n[1]$Read_Status\n[2]$Write")), 1) << error_;
  for (uint8_t cmd : {1, 2, 3}) {
    Data(cmd);
    Event(2);
  }
  EXPECT_EQ(Records(),
            "P,100,CMD,Read_Status,EoP, ,0,0\nP,120,CMD,Write,EoP, ,3,0\nP,140,CMD,03,EoP, ,6,0\n");
}

TEST_F(PacketOutput, FirstLineWhoseConditionsHoldIsWritten) {
  ASSERT_EQ(Init(EndOnEvent2("FIELDS TYPE.4=1.H DATA.8.H\nFIELDS TYPE.4.H REST.N.H")), 1) << error_;
  Data(0x1A);
  Data(0xB0);
  Event(2);
  Data(0x2A);
  Data(0xB0);
  Event(2);
  EXPECT_EQ(Records(), "P,100,TYPE,1,DATA,AB,EoP, ,0,0\nP,130,TYPE,2,REST,AB0,EoP, ,6,0\n");
}

TEST_F(PacketOutput, BusEventFieldsSelectLines) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[START]\nTYPE = EVENT\nEVENT = 1\n[END]\nTYPE = EVENT\nEVENT = 2\n"
                 "[FIELDS]\nFIELDS A.8.H [4] B.8.H\nFIELDS A.8.H [!4] B.8.H $nack\n"),
            1)
      << error_;
  Event(1);
  Data(0x10);
  Event(4);
  Data(0x20);
  Event(2);
  Event(1);
  Data(0x30);
  Event(8);
  Data(0x40);
  Event(2);
  EXPECT_EQ(Records(), "P,100,A,10,B,20,EoP, ,0,0\nP,150,A,30,B,40, ,nack,EoP, ,6,0\n");
}

TEST_F(PacketOutput, PacketsWithoutBitsOrVisibleFieldsWriteNoRecord) {
  ASSERT_EQ(Init(EndOnEvent2("FIELDS A.8.HI")), 1);
  Event(7);
  Event(2);  // only events
  Data(0x12);
  Event(2);  // only a hidden field
  EXPECT_EQ(Records(), "");
  const std::string console = Console();
  EXPECT_NE(console.find("\nP Layer at 100\n"), std::string::npos);
  EXPECT_NE(console.find("\nP Layer at 120\n"), std::string::npos);
}

TEST_F(PacketOutput, AFullDiskShowsWhenTheOutputCloses) {
  std::string full = "/dev/full";
  const std::string protocol = Write("protocol.txt", EndOnEvent2("FIELDS A.8.H"));
  ASSERT_EQ(InitializeRedodoRovodovoz(const_cast<char*>(protocol.c_str()), full.data(), error_), 1);
  Data(0x12);
  Event(2);
  EXPECT_EQ(CloseRedodoRovodovoz(), 0);
  EXPECT_NE(Console().find("Cant write output file /dev/full\n"), std::string::npos) << Console();
  EXPECT_EQ(CloseRedodoRovodovoz(), 1) << "nothing left open";
}

TEST_F(PacketOutput, FieldsFeedTheProtocolNamedAfterThem) {
  ASSERT_EQ(InitFile(ProtocolPath("two_layers.txt")), 1) << error_;
  Bytes({0xA5, 0x12, 0x34});
  const std::string records = Records();
  // LINK writes its record, then hands its hidden CMD field on: CMD receives
  // 12 and 34, then the event 127 that ends (and is excluded from) its packet.
  EXPECT_EQ(records, "LINK,100,HDR,A5,EoP, ,0,0\nCMD,110,OP,1,ARG,282.0 V,EoP, ,3,0\n");
}

TEST_F(PacketOutput, ByteOrderOfLayerEntries) {
  const char* layers = "[PROTOCOL]\nNAME = LOW\n[END]\nTYPE = EVENT\nEVENT = 2\n[FIELDS]\nFIELDS UP.16%s.H\n"
                       "[PROTOCOL]\nNAME = UP\n[END]\nTYPE = EVENT\nEVENT = 127\n[FIELDS]\nFIELDS A.8.H B.8.H\n";
  for (const auto& [flags, order] : {std::pair{"", "A,12,B,34"}, std::pair{"B", "A,34,B,12"}}) {
    const std::string pattern = layers;
    const size_t at = pattern.find("%s");
    const std::string text = pattern.substr(0, at) + flags + pattern.substr(at + 2);
    ASSERT_EQ(Init(text), 1) << error_;
    sample_ = 100;
    Bytes({0x12, 0x34});
    Event(2);
    const std::string records = Records();
    EXPECT_NE(records.find(std::string(",") + order + ",EoP"), std::string::npos) << records;
  }
}

TEST_F(PacketOutput, FieldNamedAfterItsOwnProtocolDoesNotRecurse) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[FIELDS]\nFIELDS P.8.H X.8.H\n"), 1);
  Bytes({1, 2, 3, 4});
  EXPECT_EQ(Records(), "P,100,P,01,X,02,EoP, ,0,0\nP,120,P,03,X,04,EoP, ,6,0\n");
}

}  // namespace
}  // namespace tqla::test
