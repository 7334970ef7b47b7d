// The protocol definition parser: grammar, model, limits and messages.
#include <cstring>
#include <string>

#include "packets_fixture.h"

namespace tqla::test {
namespace {

using PacketsParser = PacketsTest;

struct ErrorCase {
  const char* text;
  const char* message;
};

TEST_F(PacketsParser, RejectsWithTheExactMessage) {
  const ErrorCase cases[] = {
      {"NAME = X", "Unknown keyword NAME in CHANNEL section"},
      {"[PROTOCOL]\n[PACKET]\nX", "Unknown keyword X in PACKET section"},
      {"[DEBUG]\nDEBUGOFF", "Unknown keyword DEBUGOFF in DEBUG section"},
      {"[PROTOCOL]\nFOO", "Unknown keyword FOO in PROTOCOL section"},
      {"[PROTOCOL]\n[START]\nBITS=8", "Unknown keyword BITS=8 in START section"},
      {"[PROTOCOL]\n[END]\nSTOP", "Unknown keyword STOP in END section"},
      {"[PROTOCOL]\n[DECODE]\nCRC", "Unknown keyword CRC in DECODE section"},
      {"[PROTOCOL]\nNAME X", "Missing Equals after NAME in Protocol Section 0"},
      {"[PROTOCOL]\n[PROTOCOL]\n[START]\nTYPE NEXT", "Missing Equals after TYPE in Protocol 1"},
      {"[PROTOCOL]\n[START]\nMASK 3", "Missing Equals after MASK in Protocol 0"},
      {"[PROTOCOL]\n[END]\nTIMEOUT 5", "Missing Equals after TIMEOUT in Protocol 0"},
      {"[PROTOCOL]\n[END]\nBYTELENGTH 5", "Missing Equals after LENGTH in Protocol 0"},
      {"[PROTOCOL]\n[END]\nLEVEL", "Missing Equals after LEVEL in Protocol 0"},
      {"[PROTOCOL]\nBITWISE\n[DECODE]\n[7DH][5EH]=[7EH]",
       "Substitutions are only allowed for Bytewise streams. Either comment out the substitutions or change BITWISE "
       "to BYTEWISE."},
      {"[PROTOCOL]\n[FIELDS]\nFIELDS ADDR.8", "Error looking for output modifiers for fieldname ADDR"},
      {"[PROTOCOL]\n[FIELDS]\nFIELDS ADDR.8.", "Error looking for output modifiers for fieldname ADDR"},
      {"[PROTOCOL]\n[FIELDS]\nFIELDS ADDR", "Error looking for input modifiers for fieldname ADDR"},
      {"[PROTOCOL]\n[END]\nTYPE = LENGTH\nBYTELENGTH = LEN\n[FIELDS]\nFIELDS LENGTH.8.H",
       "Variable Length Packet fieldname [LEN] not found in fields"},
      // Limits the file format leaves open.
      {"[PROTOCOL]\n[PROTOCOL]\n[PROTOCOL]\n[PROTOCOL]\n[PROTOCOL]\n[PROTOCOL]\n[PROTOCOL]\n[PROTOCOL]",
       "Maximum number of Protocols reached"},
      {"[START]\nTYPE = NEXT", "Keyword TYPE before the first [PROTOCOL] section"},
      {"[PROTOCOL]\n[DECODE]\n[1][2][3][4]=[5]", "Maximum number of Substitution bytes reached in Protocol 0"},
      {"[PROTOCOL]\n[FIELDS]\nA.8.H", "Field A.8.H before the first FIELDS line in Protocol 0"},
      {"[PROTOCOL]\n[FIELDS]\nLOOKUP T\nFIELDS\n[PROTOCOL]\n[FIELDS]\nLOOKUP", "Missing name after LOOKUP in Protocol 1"},
      {"[PROTOCOL]\nNAME =", "Missing value after NAME in Protocol 0"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Init(c.text), 0);
    EXPECT_STREQ(error_, c.message);
  }
  for (const std::string& path : {dir_.file("missing.txt"), dir_.path().string()}) {
    EXPECT_EQ(InitFile(path), 0) << "a folder is no protocol file";
    EXPECT_EQ(std::string(error_), "Can not open file " + path);
  }
}

TEST_F(PacketsParser, CountLimitsAcceptTheLastAllowedAndRejectTheNext) {
  auto repeat = [](const std::string& piece, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += piece;
    return s;
  };
  ASSERT_EQ(Init("[PROTOCOL]\n[START]\n" + repeat("VALUE = 1\n", 15)), 1) << error_;
  EXPECT_EQ(Protocol().start.valueCount, 15);
  EXPECT_EQ(Init("[PROTOCOL]\n[START]\n" + repeat("VALUE = 1\n", 16)), 0);
  EXPECT_STREQ(error_, "Maximum number of Start values reached in Protocol 0");
  EXPECT_EQ(Init("[PROTOCOL]\n[END]\n" + repeat("VALUE = 1\n", 16)), 0);
  EXPECT_STREQ(error_, "Maximum number of End values reached in Protocol 0");

  ASSERT_EQ(Init("[PROTOCOL]\n[DECODE]\n" + repeat("NRZI\n", 14) + "[1]=[2]\n"), 1) << error_;
  EXPECT_EQ(Protocol().decodeStepCount, 15);
  for (const char* sixteenth : {"INVERT", "[1]=[2]"}) {
    EXPECT_EQ(Init("[PROTOCOL]\n[DECODE]\n" + repeat("NRZI\n", 15) + sixteenth), 0);
    EXPECT_STREQ(error_, "Maximum number of Decodes reached");
  }

  const struct {
    std::string head, piece;
    int allowed;
    const char* message;
  } limits[] = {
      {"[PROTOCOL]\n[FIELDS]\n", "FIELDS A.1.H\n", 127, "Maximum number of Field lines reached in Protocol 0"},
      {"[PROTOCOL]\n[FIELDS]\nFIELDS\n", "A.1.H\n", 127, "Maximum number of Fields reached in Protocol 0"},
      {"[PROTOCOL]\n[FIELDS]\n", "LOOKUP T\n", 64, "Maximum number of Lookup tables reached in Protocol 0"},
      {"[PROTOCOL]\n[FIELDS]\nLOOKUP T\n", "[1]$X\n", 255, "Maximum number of Lookup entries reached in Protocol 0"},
  };
  for (const auto& limit : limits) {
    SCOPED_TRACE(limit.message);
    EXPECT_EQ(Init(limit.head + repeat(limit.piece, limit.allowed)), 1) << error_;
    EXPECT_EQ(Init(limit.head + repeat(limit.piece, limit.allowed + 1)), 0);
    EXPECT_STREQ(error_, limit.message);
  }
}

TEST_F(PacketsParser, NumberTextsAndCaseRules) {
  ASSERT_EQ(Init("[protocol]\nname = $MixedCase Name\n[start]\ntype = value\nbits = 12\n"
                 "VALUE = 7EH\nVALUE = 1010B\nVALUE = 12\nVALUE = -3\nVALUE = 99D\nmask = 0FFH\n"),
            1)
      << error_;
  const packets::Boundary& start = Protocol().start;
  EXPECT_STREQ(Protocol().name, "$MixedCase_Name");  // the value token as written
  EXPECT_EQ(start.type, packets::kTypeValue);
  EXPECT_EQ(start.valueWidth, 12);
  EXPECT_EQ(start.mask, 0xFFu);
  ASSERT_EQ(start.valueCount, 5);
  EXPECT_EQ(start.values[0], 126u);
  EXPECT_EQ(start.values[1], 10u);
  EXPECT_EQ(start.values[2], 12u);
  EXPECT_EQ(start.values[3], 0xFFFFFFFDu);
  EXPECT_EQ(start.values[4], 99u);
}

TEST_F(PacketsParser, BoundaryKeywords) {
  ASSERT_EQ(Init("[PROTOCOL]\n[START]\nTYPE = SIGNAL\nSIGNAL = 3\nLEVEL = 1\nTYPE = LENGTH\n"
                 "[END]\nTYPE = TIMEOUT\nTIMEOUT = 500.7\nEXCLUDE\nCHANNELY\nBITS = 4\n"
                 "[PROTOCOL]\n[END]\nTYPE = EVENT\nEVENT = 2\nCHANNELXORY\nTYPE = BOGUS\n"),
            1)
      << error_;
  EXPECT_EQ(Protocol().start.type, packets::kTypeSignal);  // LENGTH is no start type
  EXPECT_EQ(Protocol().start.code, 49u);
  EXPECT_EQ(Protocol().start.channel, 3);
  EXPECT_EQ(Protocol().end.type, packets::kTypeTimeout);
  EXPECT_EQ(Protocol().timeout, 500.0);
  EXPECT_EQ(Protocol().exclude, 1);
  EXPECT_EQ(Protocol().end.channel, 2);
  EXPECT_EQ(Protocol().end.valueWidth, 4);
  EXPECT_EQ(Protocol(1).end.type, packets::kTypeEvent);
  EXPECT_EQ(Protocol(1).end.code, 2u);
  EXPECT_EQ(Protocol(1).end.channel, 3);
  EXPECT_EQ(Protocol(1).start.type, packets::kTypeNext);
  EXPECT_EQ(Protocol(1).start.mask, 0xFFFFFFFFu);
}

TEST_F(PacketsParser, LengthSpecs) {
  ASSERT_EQ(Init("[PROTOCOL]\n[END]\nBITLENGTH = 64\n"), 1) << error_;
  EXPECT_EQ(Protocol().length, 64);
  EXPECT_EQ(Protocol().lengthInBytes, 0);
  EXPECT_NE(Console().find("Packet Length is fixed at 64 bits\n"), std::string::npos);

  ASSERT_EQ(Init("[PROTOCOL]\n[END]\nTYPE = LENGTH\nBYTELENGTH = LEN / 2 - 1\n"
                 "[FIELDS]\nFIELDS SYNC.8.H LEN.16LBY.D\nFIELDS LEN.4.H\n"),
            1)
      << error_;
  const packets::ProtocolDef& p = Protocol();
  EXPECT_EQ(p.length, -1);
  EXPECT_EQ(p.lengthInBytes, 1);
  EXPECT_STREQ(p.lengthFieldName, "LEN");
  EXPECT_FLOAT_EQ(p.lengthGain, 0.5f);
  EXPECT_EQ(p.lengthOffset, -1);
  // The last field of that name wins.
  EXPECT_EQ(p.lengthFieldPosition, 0u);
  EXPECT_EQ(p.lengthFieldWidth, 4);
  EXPECT_EQ(p.end.channel, 1);
  ASSERT_EQ(Init("[PROTOCOL]\n[END]\nTYPE = LENGTH\nBYTELENGTH = LEN * 2 + 4\n[FIELDS]\nFIELDS S.8.H LEN.16LBY.D\n"),
            1);
  EXPECT_FLOAT_EQ(Protocol().lengthGain, 2.0f);
  EXPECT_EQ(Protocol().lengthOffset, 4);
  EXPECT_EQ(Protocol().lengthFieldPosition, 8u);
  EXPECT_EQ(Protocol().lengthFieldWidth, 16);
  EXPECT_EQ(Protocol().lengthFieldMsbFirst, 0);
  EXPECT_EQ(Protocol().lengthFieldByteSwap, 1);
  EXPECT_EQ(Protocol().end.channel, 2);
  const std::string console = Console();
  EXPECT_NE(console.find("Packet Length is variable based on field [LEN]\n  length gain is 2.000000\n"
                         "  length offset is 4\n"),
            std::string::npos);
}

TEST_F(PacketsParser, DecodeStepsAndSubstitutions) {
  ASSERT_EQ(Init("[PROTOCOL]\n[DECODE]\nNRZI MANCHESTER\n[7DH][5EH]=[7EH]\nADDIN,INVERT ZBI5 ZBI6\n[7DH]=\n"), 1)
      << error_;
  const packets::ProtocolDef& p = Protocol();
  ASSERT_EQ(p.decodeStepCount, 8);
  const uint32_t steps[] = {1, 4, 8, 16, 32, 64, 128, 8};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p.decodeSteps[i], steps[i]) << i;
  ASSERT_EQ(p.ruleCount, 2);
  EXPECT_EQ(p.rules[0].fromCount, 2);
  EXPECT_EQ(p.rules[0].from[0], 0x7D);
  EXPECT_EQ(p.rules[0].from[1], 0x5E);
  EXPECT_EQ(p.rules[0].toCount, 1);
  EXPECT_EQ(p.rules[0].to[0], 0x7E);
  EXPECT_EQ(p.rules[1].fromCount, 1);
  EXPECT_EQ(p.rules[1].toCount, 0);
}

TEST_F(PacketsParser, FieldTokens) {
  ASSERT_EQ(Init("[PROTOCOL]\n[FIELDS]\nFIELDS TEMP.8.D*0.25+10$ C\n"
                 "FIELDS ADDR.7X.H DATA.NY.A TYPE.4=3.H W.16MLB.TFI $Hello World ; comment $x\n"
                 "[1] [!2] V.8.D*-2-1.5 L.3.L R.5.HB\n"),
            1)
      << error_;
  const packets::FieldDef& temp = Field(0, 0);
  EXPECT_STREQ(temp.name, "TEMP");
  EXPECT_EQ(temp.bits, 8);
  EXPECT_EQ(temp.radix, packets::kRadixDecimal);
  EXPECT_DOUBLE_EQ(temp.gain, 0.25);
  EXPECT_DOUBLE_EQ(temp.offset, 10.0);
  EXPECT_EQ(temp.decimalPlaces, 2);
  EXPECT_STREQ(temp.label, " C");

  const packets::FieldDef& addr = Field(1, 0);
  EXPECT_EQ(addr.bits, 7);
  EXPECT_EQ(addr.channel, 1);
  EXPECT_EQ(addr.radix, 16);
  const packets::FieldDef& data = Field(1, 1);
  EXPECT_EQ(data.bits, -1);
  EXPECT_EQ(data.variable, 1);
  EXPECT_EQ(data.channel, 2);
  EXPECT_EQ(data.radix, 1);
  const packets::FieldDef& type = Field(1, 2);
  EXPECT_EQ(type.conditional, 1);
  EXPECT_EQ(type.conditionalValue, 3);
  const packets::FieldDef& w = Field(1, 3);
  EXPECT_EQ(w.msbFirst, 0);  // L overrides M
  EXPECT_EQ(w.byteSwap, 1);
  EXPECT_EQ(w.trueFalse, 1);
  EXPECT_EQ(w.hidden, 1);
  EXPECT_EQ(w.radix, 16);
  EXPECT_STREQ(Field(1, 4).text, "Hello World ");  // the run ends at the comment
  EXPECT_EQ(Field(1, 5).busEvent, 1);
  EXPECT_EQ(Field(1, 5).eventCode, 1);
  EXPECT_EQ(Field(1, 6).eventCode, -2);
  const packets::FieldDef& v = Field(1, 7);
  EXPECT_DOUBLE_EQ(v.gain, -2.0);
  EXPECT_DOUBLE_EQ(v.offset, -1.5);
  EXPECT_EQ(v.decimalPlaces, 1);
  EXPECT_EQ(Field(1, 8).lookup, 1);
  EXPECT_EQ(Field(1, 8).radix, 16);
  EXPECT_EQ(Field(1, 9).radix, 2);  // B comes after H
  EXPECT_EQ(packets::packetsState.fieldLines[0][1].count, 10);

  const std::string console = Console();
  EXPECT_NE(console.find("Token: {[PROTOCOL]}\n"), std::string::npos);
  EXPECT_NE(console.find("FieldName: [TEMP]\nInput Modifiers [8]\nBits In Field: 8\nOutput Modifiers [D*0.25+10$_C]\n"
                         "Gain * 0.250000\nOffset + 10.000000\n"),
            std::string::npos);
  EXPECT_NE(console.find("Bits In Field: Variable\n"), std::string::npos);
  EXPECT_NE(console.find("Conditional Value: 3\n"), std::string::npos);
  EXPECT_NE(console.find("StringOnly Field: [Hello_World_]\n"), std::string::npos);
  EXPECT_NE(console.find("BusEvent: [-2]\n"), std::string::npos);
  EXPECT_EQ(console.find("comment"), std::string::npos);
}

TEST_F(PacketsParser, LookupTablesAndDebugFlag) {
  ASSERT_EQ(InitFile(ProtocolPath("i2c_eeprom.txt")), 1) << error_;
  EXPECT_STREQ(Protocol().name, "EEPROM");
  ASSERT_EQ(Protocol().lookupTableCount, 1);
  const packets::LookupTable& table = packets::packetsState.lookupTables[0][0];
  EXPECT_STREQ(table.name, "RW");
  ASSERT_EQ(table.count, 2);
  EXPECT_EQ(table.values[1], 1u);
  EXPECT_STREQ(table.labels[1], "Read");
  EXPECT_STREQ(Field(0, 4).label, " (write)");
  EXPECT_EQ(packets::packetsState.parser.packetDebug, 0);

  ASSERT_EQ(Init("[DEBUG]\nDEBUGON\n[PROTOCOL]\n"), 1);
  EXPECT_EQ(packets::packetsState.parser.packetDebug, 1);
  ASSERT_EQ(Init("[PROTOCOL]\n"), 1);
  EXPECT_EQ(packets::packetsState.parser.packetDebug, 1);  // kept from the file before
  ASSERT_EQ(Init("[DEBUG]\n"), 1);
  EXPECT_EQ(packets::packetsState.parser.packetDebug, 0);
}

TEST_F(PacketsParser, EveryTestProtocolFileParses) {
  for (const auto& entry : std::filesystem::directory_iterator(ProtocolPath(""))) {
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(InitFile(entry.path().string()), 1) << error_;
  }
}

TEST_F(PacketsParser, CrLfFilesAndOversizeFiles) {
  ASSERT_EQ(Init("[PROTOCOL]\r\nNAME = A$b c\r\n[START]\r\nBITS = 4\r\n"), 1) << error_;
  EXPECT_STREQ(Protocol().name, "A$b_c");
  EXPECT_EQ(Protocol().start.valueWidth, 4);
  EXPECT_NE(Console().find("Protocol File Size: 41\n"), std::string::npos);
  // Past 100000 characters the file is cut: the keyword there is lost.
  std::string big = "[PROTOCOL]\n" + std::string(100000 - 11 - 4, ' ') + "BITWISE";
  ASSERT_EQ(Init(big), 0);
  EXPECT_STREQ(error_, "Unknown keyword BITW in PROTOCOL section");
}

TEST_F(PacketsParser, OutputFileThatCannotBeOpened) {
  char bad[] = "/nonexistent-dir/out.txt";
  std::string protocol = Write("p.txt", "[PROTOCOL]\n");
  std::strcpy(error_, "untouched");
  EXPECT_EQ(InitializeRedodoRovodovoz(protocol.data(), bad, error_), 0);
  EXPECT_STREQ(error_, "untouched");
  EXPECT_NE(Console().find("Cant Open output file /nonexistent-dir/out.txt\n"), std::string::npos);
  EXPECT_EQ(InitializeRedodoRovodovoz(protocol.data(), nullptr, error_), 0);
  std::string longPath(packets::kOutputPathSize, 'x');
  EXPECT_EQ(InitializeRedodoRovodovoz(protocol.data(), longPath.data(), error_), 0);
}

}  // namespace
}  // namespace tqla::test
