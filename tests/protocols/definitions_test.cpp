// Every definition shipped in protocols/: it parses without a message, says
// what it is on its first line, arms no signal condition it does not mean
// (the decoders read any START or END code above 15 as one), and carries no
// blank that a comment or a line end left at the end of a label.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "packets/packets_state.h"
#include "protocols_fixture.h"

namespace tqla::test {
namespace {

using DefinitionsTest = ProtocolsTest;

TEST_F(DefinitionsTest, EveryDefinitionParsesCleanly) {
  const std::filesystem::path folder = std::filesystem::path(DefinitionPath("x")).parent_path();
  int definitions = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".txt") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++definitions;
    std::ifstream file(entry.path());
    std::string first;
    std::getline(file, first);
    EXPECT_EQ(first.rfind("; ", 0), 0u);
    EXPECT_GT(first.size(), 20u);

    error_[0] = '\0';
    std::string path = entry.path().string();
    ASSERT_EQ(InitializeRedodoRovodovoz(path.data(), packets(), error_), 1) << error_;
    EXPECT_STREQ(error_, "");
    const auto& s = packets::packetsState;
    for (int p = 0; p < s.parser.protocolCount; ++p) {
      ASSERT_NE(s.protocols[p].name, nullptr);
      for (const packets::Boundary& b : {s.protocols[p].start, s.protocols[p].end}) {
        EXPECT_TRUE(b.code <= 15 || b.type == packets::kTypeSignal) << s.protocols[p].name << " code " << b.code;
      }
      for (int t = 0; t < s.protocols[p].lookupTableCount; ++t) {
        const packets::LookupTable& table = s.lookupTables[p][t];
        EXPECT_LE(table.count, 127) << table.name;
        for (int e = 0; e < table.count; ++e) {
          const std::string label = table.labels[e];
          EXPECT_TRUE(!label.empty() && label.back() != '_') << table.name << " [" << label << "]";
        }
      }
      for (int l = 0; l < s.protocols[p].fieldLineCount; ++l) {
        const packets::FieldLine& line = s.fieldLines[p][l];
        for (int f = 0; f < line.count; ++f) {
          const char* text = line.fields[f].label ? line.fields[f].label : line.fields[f].text;
          if (!text) continue;
          EXPECT_TRUE(*text && text[std::strlen(text) - 1] != ' ') << "line " << l + 1 << " [" << text << "]";
        }
      }
    }
    CloseRedodoRovodovoz();
  }
  EXPECT_EQ(definitions, 6);
}

}  // namespace
}  // namespace tqla::test
