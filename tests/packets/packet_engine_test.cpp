// The packet engine: detection of starts and ends, hand-back, value search,
// bit decoders and substitutions.
#include <string>
#include <vector>

#include "packets/bit_transforms.h"
#include "packets/packets_state.h"
#include "packets_fixture.h"

namespace tqla::test {
namespace {

using PacketEngine = PacketsTest;

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

TEST_F(PacketEngine, NextToNextTakesTheStartEntryAndTheOneAfter) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[FIELDS]\nFIELDS A.8.H B.8.H\n"), 1) << error_;
  Bytes({0x11, 0x22, 0x33, 0x44, 0x55});
  EXPECT_EQ(Records(),
            "P,100,A,11,B,22,EoP, ,0,0\n"
            "P,120,A,33,B,44,EoP, ,6,0\n");
  EXPECT_EQ(Count(Console(), "A Packet Started!\n"), 3u);
}

TEST_F(PacketEngine, FixedByteLengthEndsAtTheSecondByte) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[END]\nTYPE = LENGTH\nBYTELENGTH = 2\n[FIELDS]\nFIELDS A.16.H\n"), 1);
  Data(0x12);
  EXPECT_EQ(Console().find("End Fixed length"), std::string::npos);
  Data(0x34);
  EXPECT_NE(Console().find("End Fixed length 2 found\n"), std::string::npos);
  EXPECT_EQ(Records(), "P,100,A,1234,EoP, ,0,0\n");
}

TEST_F(PacketEngine, ExcludedSignalEndStartsTheNextPacket) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[START]\nTYPE = SIGNAL\nSIGNAL = 2\nLEVEL = 1\n"
                 "[END]\nTYPE = SIGNAL\nSIGNAL = 2\nLEVEL = 1\nEXCLUDE\n[FIELDS]\nFIELDS [!33] A.8.H\n"),
            1)
      << error_;
  Event(33);
  Data(0xA1);
  Event(33);  // ends the first packet and starts the second
  Data(0xB2);
  Event(33);
  EXPECT_EQ(Records(), "P,100,A,A1,EoP, ,0,0\nP,120,A,B2,EoP, ,3,0\n");
}

TEST_F(PacketEngine, TimeoutEndsThePacketBeforeTheLateEntry) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[END]\nTYPE = TIMEOUT\nTIMEOUT = 500\n[FIELDS]\nFIELDS D.N.H\n"), 1);
  packets::streamPosition.DecoderSampleRate = 1000000;
  for (uint32_t s : {0u, 100u, 200u, 800u, 900u, 1399u}) {
    SendDataStream(0, s, static_cast<uint8_t>(s / 100), 8, TQLA_PACKET_CHANNEL_X, 0, static_cast<int32_t>(s));
  }
  SendDataStream(0, 1900, 0xFF, 8, TQLA_PACKET_CHANNEL_X, 0, 1900);  // 501 us after 1399: 500 us time out
  EXPECT_EQ(Records(), "P,0,D,000102,EoP, ,0,0\nP,800,D,08090D,EoP, ,800,0\n");
}

TEST_F(PacketEngine, BitwiseStartValueSplitAcrossEntriesIsTrimmed) {
  const std::string protocol =
      "[PROTOCOL]\nNAME = P\n%s\n[START]\nTYPE = VALUE\nBITS = 8\nVALUE = 7EH\n[FIELDS]\nFIELDS A.N.B\n";
  auto run = [&](const char* wise) {
    std::string text = protocol;
    text.replace(text.find("%s"), 2, wise);
    EXPECT_EQ(Init(text), 1) << error_;
    Bytes({0x07, 0xE0, 0x55});
    return Records();
  };
  // 7E found at bit 5; the packet begins 111, then E0, and ends at the next entry.
  EXPECT_EQ(run("BITWISE"), "P,100,A,1111110000001010101,EoP, ,0,0\n");
  EXPECT_NE(Console().find("Value 126 found\nA Packet Started!\n"), std::string::npos);
  EXPECT_EQ(run("BYTEWISE"), "");
}

TEST_F(PacketEngine, ValueEndWithAndWithoutExclude) {
  const char* base = "[PROTOCOL]\nNAME = P\n[START]\nTYPE = VALUE\nVALUE = 0AAH\n[END]\nTYPE = VALUE\nVALUE = 55H\n%s"
                     "[FIELDS]\nFIELDS D.N.H\n";
  for (const char* exclude : {"", "EXCLUDE\n"}) {
    std::string text = base;
    text.replace(text.find("%s"), 2, exclude);
    ASSERT_EQ(Init(text), 1) << error_;
    sample_ = 100;
    offset_ = 0;
    Bytes({0x01, 0xAA, 0x55, 0x12, 0x55, 0xAA, 0x99, 0x55});
    const std::string records = Records();
    if (*exclude) {
      // The first 55 is the packet's first entry's successor but the search
      // skips only the first entry; the ending value goes back to the stream.
      EXPECT_EQ(records, "P,110,D,AA,EoP, ,3,0\nP,150,D,AA99,EoP, ,15,0\n");
    } else {
      EXPECT_EQ(records, "P,110,D,AA55,EoP, ,3,0\nP,150,D,AA9955,EoP, ,15,0\n");
    }
    EXPECT_NE(Console().find("End Value 85 found\n"), std::string::npos);
  }
}

TEST_F(PacketEngine, LengthFieldGivesThePacketLength) {
  ASSERT_EQ(InitFile(ProtocolPath("length_field.txt")), 1) << error_;
  Bytes({0x00, 0xAA, 0x03, 0x10, 0x20, 0x30, 0xAA, 0x00});
  EXPECT_EQ(Records(), "MSG,110,SYNC,AA,LEN,3,BODY,102030,EoP, ,3,0\nMSG,160,SYNC,AA,LEN,0,BODY,,EoP, ,18,0\n");
  EXPECT_NE(Console().find("End Variable length 40 found.  Data In Stream 40\n"), std::string::npos);
}

TEST_F(PacketEngine, BitDecoders) {
  struct Case {
    uint32_t step;
    std::vector<int> in, out;
  } cases[] = {
      {packets::kStepNrzi, {0, 0, 1, 1, 0}, {0, 0, 1, 0, 1}},
      {packets::kStepManchester, {0, 1, 1, 0}, {1, 0}},
      {packets::kStepManchester, {1, 1, 0, 0, 1}, {0, 1}},  // equal halves shift the pairs
      {packets::kStepZbi5, {1, 1, 1, 1, 1, 0, 1}, {1, 1, 1, 1, 1, 1}},
      {packets::kStepZbi6, {1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 0}, {1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0}},
      {packets::kStepInvert, {1, 0, 0}, {0, 1, 1}},
  };
  packets::packetsState.bitDecoders = {};
  for (const Case& c : cases) {
    std::vector<int> out;
    uint8_t bits[256];
    for (size_t i = 0; i < c.in.size(); ++i) {
      const uint32_t n = packets::DecodeBit(c.step, c.in[i], i == 0, "P", bits);
      for (uint32_t k = 0; k < n; ++k) out.push_back(bits[k]);
    }
    EXPECT_EQ(out, c.out) << "step " << c.step;
  }
}

TEST_F(PacketEngine, InvertRewritesThePacketAtRingStart) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[START]\nTYPE = VALUE\nVALUE = 0F0H\n[END]\nTYPE = LENGTH\n"
                 "BYTELENGTH = 10\n[DECODE]\nINVERT\n[DEBUG]\nDEBUGON\n[FIELDS]\nFIELDS D.N.H\n"),
            1);
  Data(0x00);  // history before the start: the packet does not begin at ring index 0
  Data(0x00);
  for (int i = 0; i < 10; ++i) Data(static_cast<uint8_t>(0xF0 + i));
  const packets::EntryRing& ring = packets::packetsState.rings[0];
  EXPECT_EQ(ring.tail, 10u);  // closed right after the rewritten packet
  for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(ring.entries[i].value, static_cast<uint8_t>(~(0xF0 + i))) << i;
  const std::string records = Records();
  EXPECT_NE(records.find("P,120,D,0F 0E 0D 0C 0B 0A 09 08 07 06,EoP, ,6,0\n"), std::string::npos) << records;
  EXPECT_NE(records.find("Packet Debug, ,DATA,0F,"), std::string::npos);
}

TEST_F(PacketEngine, SubstitutionRewritesMatchedBytes) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[END]\nTYPE = EVENT\nEVENT = 2\n[DECODE]\n[7DH][5EH]=[7EH]\n[DEBUG]\nDEBUGON\n"
                 "[FIELDS]\nFIELDS D.N.H\n"),
            1)
      << error_;
  Bytes({0x7E, 0x7D, 0x5E, 0x01});
  Event(2);
  const std::string records = Records();
  // Before decoding, after decoding (the 5E is now a zero-bit entry), after closing.
  EXPECT_NE(records.find("Packet Debug, ,DATA,7E,DATA,7D,DATA,5E,DATA,01,EVENT,02,EoP, ,1,10\n"
                         "Packet Debug, ,DATA,7E,DATA,7E,DATA,00,DATA,01,EVENT,02,EoP, ,1,10\n"
                         "P,100,D,7E7E01,EoP, ,0,0\n"
                         "Packet Debug, ,EoP, ,1,10\n"),
            std::string::npos)
      << records;
}

TEST_F(PacketEngine, FullRingDropsTheNewEntry) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[START]\nCHANNELX\n"), 1);
  for (uint32_t i = 0; i < 65536; ++i)
    SendDataStream(0, i, 1, 8, TQLA_PACKET_CHANNEL_Y, 0, 0);  // channel Y never starts a packet
  const packets::EntryRing& ring = packets::packetsState.rings[0];
  EXPECT_EQ(ring.head, 65535u);
  EXPECT_EQ(ring.tail, 0u);
  EXPECT_EQ(ring.entries[65534].sampleIndex, 65534u);
}

TEST_F(PacketEngine, AddinLibraryDecodesBits) {
  const char* protocol = "[PROTOCOL]\nNAME = %s\n[DECODE]\nADDIN\n"
                         "[FIELDS]\nFIELDS D.N.B\n";
  auto run = [&](const char* name) {
    std::string text = protocol;
    text.replace(text.find("%s"), 2, name);
    EXPECT_EQ(Init(text), 1);
    sample_ = 100;
    offset_ = 0;
    Data(0x9, 4);
    Event(5);  // the entry after the start ends the packet
    return Records();
  };
  ASSERT_EQ(TqlaSetAddinLibrary(nullptr), 1);
  EXPECT_EQ(run("REPEAT"), "REPEAT,100,D,1001,EoP, ,0,0\n");
  ASSERT_EQ(TqlaSetAddinLibrary(TQLA_EXAMPLE_ADDIN), 1);
  EXPECT_EQ(run("REPEAT"), "REPEAT,100,D,11000011,EoP, ,0,0\n");
  EXPECT_EQ(run("SKIPFIRST"), "SKIPFIRST,100,D,001,EoP, ,0,0\n");
  EXPECT_EQ(TqlaSetAddinLibrary("/nonexistent/addin.so"), 0);
  EXPECT_EQ(run("REPEAT"), "REPEAT,100,D,1001,EoP, ,0,0\n");
}

TEST_F(PacketEngine, CallsOutsideTheInterfaceAreIgnored) {
  ASSERT_EQ(Init("[PROTOCOL]\nNAME = P\n[FIELDS]\nFIELDS A.8.H B.8.H\n"), 1);
  EXPECT_EQ(SendDataStream(-1, 0, 1, 8, TQLA_PACKET_CHANNEL_X, 0, 0), 0);
  EXPECT_EQ(SendDataStream(7, 0, 1, 8, TQLA_PACKET_CHANNEL_X, 0, 0), 0);
  SendDataStream(0, 0, 0xFF, 100, TQLA_PACKET_CHANNEL_X, 0, 0);  // taken as 8 bits
  SendDataStream(0, 0, 0x0F, -3, TQLA_PACKET_CHANNEL_X, 0, 0);   // taken as 0 bits
  SendDataStream(0, 0, 0x01, 8, TQLA_PACKET_CHANNEL_X, 0, 0);
  EXPECT_EQ(Records(), "P,0,A,FF,B,00,EoP, ,0,0\n");  // B lies beyond the packet's bits
}

}  // namespace
}  // namespace tqla::test
