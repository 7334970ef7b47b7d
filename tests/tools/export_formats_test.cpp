// The VCD and CSV writers, read back by readers written here from the
// formats' rules, not from the writers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "export_formats.h"
#include "timebase.h"
#include "tool_run.h"

namespace tqla::cli {
namespace {

struct Level {
  uint16_t digital = 0;
  double ch1 = -99, ch2 = -99;
  bool operator==(const Level&) const = default;
};

struct Vcd {
  std::string timescale;
  std::map<std::string, std::string> names;  // id -> name
  std::map<unsigned long long, Level> atTime;  // state after each timestamp's changes
  unsigned long long lastTime = 0;
};

// Reads a VCD token by token: nothing assumes one value per line.
Vcd ReadVcd(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> tokens;
  for (std::string t; in >> t;) tokens.push_back(t);
  Vcd vcd;
  size_t i = 0;
  auto skipToEnd = [&] {
    while (i < tokens.size() && tokens[i] != "$end") ++i;
    ++i;
  };
  while (i < tokens.size() && tokens[i] != "$enddefinitions") {
    if (tokens[i] == "$timescale") {
      for (++i; tokens.at(i) != "$end"; ++i) vcd.timescale += tokens[i];
      ++i;
    } else if (tokens[i] == "$var") {
      vcd.names[tokens.at(i + 3)] = tokens.at(i + 4);
      EXPECT_TRUE(tokens[i + 1] == "wire" ? tokens[i + 2] == "1" : tokens[i + 1] == "real") << tokens[i + 4];
      skipToEnd();
    } else if (tokens[i][0] == '$') {
      skipToEnd();
    } else {
      ADD_FAILURE() << "stray token " << tokens[i];
      ++i;
    }
  }
  skipToEnd();
  Level state;
  bool haveTime = false;
  unsigned long long now = 0;
  for (; i < tokens.size(); ++i) {
    const std::string& t = tokens[i];
    if (t == "$dumpvars" || t == "$end") continue;
    if (t[0] == '#') {
      const unsigned long long next = std::stoull(t.substr(1));
      if (haveTime) {
        EXPECT_GT(next, now) << "timestamps must grow";
        vcd.atTime[now] = state;
      }
      now = next;
      haveTime = true;
      continue;
    }
    std::string id, value;
    if (t[0] == 'r') {
      value = t.substr(1);
      id = tokens.at(++i);
    } else {
      value = t.substr(0, 1);
      id = t.substr(1);
    }
    const std::string& name = vcd.names.at(id);
    if (name == "CH1") {
      state.ch1 = std::stod(value);
    } else if (name == "CH2") {
      state.ch2 = std::stod(value);
    } else {
      const int bit = std::stoi(name.substr(1));
      state.digital = static_cast<uint16_t>((state.digital & ~(1u << bit)) | ((value == "1" ? 1u : 0u) << bit));
    }
  }
  vcd.lastTime = now;
  return vcd;
}

// RFC 4180: quoted fields may hold commas, quotes and line breaks; records end in CRLF.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\r') {
      EXPECT_EQ(text.at(i + 1), '\n') << "record ends in CRLF";
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
      ++i;
    } else {
      EXPECT_NE(c, '\n') << "bare LF at " << i;
      field += c;
    }
  }
  EXPECT_TRUE(rows.back().empty() && field.empty()) << "last record ends in CRLF";
  rows.pop_back();
  return rows;
}

double Volts(uint32_t word, int shift) { return (static_cast<int>((word >> shift) & 0xFF) - 128) * 0.078125; }

// Runs of steady values with a few changing bits, so that changes-only matters.
std::vector<uint32_t> Samples(size_t count) {
  std::vector<uint32_t> words(count);
  uint32_t state = 0x80801234u, seed = 12345;
  for (auto& w : words) {
    seed = seed * 1103515245u + 12345u;
    if ((seed >> 28) < 6) state ^= 1u << ((seed >> 16) % 32);
    w = state;
  }
  return words;
}

std::string Written(void (*writer)(std::FILE*, const ExportWindow&, Progress*), const ExportWindow& window) {
  return cli::Written([&](std::FILE* out) { writer(out, window, nullptr); });
}

struct RateCase {
  uint32_t rate;
  const char* timescale;
  // Expected time of sample i in the unit, computed here from the rate.
  unsigned long long (*time)(uint64_t i);
};

const RateCase kRates[] = {
    {1000000, "1us", [](uint64_t i) { return static_cast<unsigned long long>(i); }},
    {16000000, "100ps", [](uint64_t i) { return static_cast<unsigned long long>(i * 625); }},
    {24000000, "1ps", [](uint64_t i) { return static_cast<unsigned long long>((i * 1000000 * 2 + 24) / 48); }},
};

TEST(VcdWriter, RebuildsEverySampleAtItsTime) {
  const std::vector<uint32_t> words = Samples(3000);
  for (const RateCase& rc : kRates) {
    for (uint8_t analog : {uint8_t{0}, uint8_t{kCh1InUse}, uint8_t{kCh1InUse | kCh2InUse}}) {
      SCOPED_TRACE(std::to_string(rc.rate) + " Hz, analog " + std::to_string(analog));
      ExportWindow window{words.data(), words.size(), rc.rate, analog, "2024-01-02T03:04:05Z", ""};
      const std::string text = Written(WriteVcd, window);
      const Vcd vcd = ReadVcd(text);
      EXPECT_EQ(vcd.timescale, rc.timescale);
      EXPECT_EQ(vcd.names.size(), 16u + __builtin_popcount(analog));
      EXPECT_EQ(vcd.lastTime, rc.time(words.size())) << "closing timestamp one sample after the last";
      EXPECT_NE(text.find("$date\n\t2024-01-02T03:04:05Z"), std::string::npos);
      ASSERT_EQ(vcd.atTime.begin()->first, 0u);
      for (size_t i = 0; i < words.size(); ++i) {
        auto at = vcd.atTime.upper_bound(rc.time(i));
        ASSERT_NE(at, vcd.atTime.begin());
        const Level& got = std::prev(at)->second;
        Level want{static_cast<uint16_t>(words[i]), analog & kCh1InUse ? Volts(words[i], 16) : -99,
                   analog & kCh2InUse ? Volts(words[i], 24) : -99};
        ASSERT_EQ(got, want) << "sample " << i;
      }
    }
  }
}

TEST(VcdWriter, WritesOnlyTimesWithChanges) {
  std::vector<uint32_t> words(100, 0x80800001u);
  words[50] = 0x80800000u;
  words[70] = 0x81800001u;  // a change of CH2, which is not written
  const Vcd vcd = ReadVcd(Written(WriteVcd, {words.data(), words.size(), 1000000, kCh1InUse, "", ""}));
  std::vector<unsigned long long> times;
  for (const auto& [t, level] : vcd.atTime) times.push_back(t);
  EXPECT_EQ(times, (std::vector<unsigned long long>{0, 50, 51}));
  EXPECT_EQ(vcd.lastTime, 100u);
}

TEST(CsvWriter, HeaderAndOneRowPerSample) {
  const std::vector<uint32_t> words = Samples(500);
  for (uint8_t analog : {uint8_t{0}, uint8_t{kCh2InUse}, uint8_t{kCh1InUse | kCh2InUse}}) {
    const auto rows = ReadCsv(Written(WriteCsv, {words.data(), words.size(), 24000000, analog, "", ""}));
    ASSERT_EQ(rows.size(), words.size() + 1);
    std::vector<std::string> header{"time"};
    for (int b = 0; b < 16; ++b) header.push_back(std::string(1, 'd').append(std::to_string(b)));
    if (analog & kCh1InUse) header.push_back("CH1");
    if (analog & kCh2InUse) header.push_back("CH2");
    ASSERT_EQ(rows[0], header);
    for (size_t i = 0; i < words.size(); ++i) {
      const auto& row = rows[i + 1];
      ASSERT_EQ(row.size(), header.size());
      EXPECT_NEAR(std::strtod(row[0].c_str(), nullptr), i / 24e6, 0.6e-12) << row[0];
      for (int b = 0; b < 16; ++b) ASSERT_EQ(row[1 + b], (words[i] >> b) & 1 ? "1" : "0");
      size_t col = 17;
      if (analog & kCh1InUse) {
        EXPECT_EQ(std::strtod(row[col++].c_str(), nullptr), Volts(words[i], 16));
      }
      if (analog & kCh2InUse) {
        EXPECT_EQ(std::strtod(row[col++].c_str(), nullptr), Volts(words[i], 24));
      }
    }
  }
}

TEST(Timebase, CoarsestUnitThatKeepsEveryTimeWhole) {
  const struct {
    uint32_t rate;
    const char* unit;
    bool exact;
    uint64_t sample;
    const char* ticks;
    const char* seconds;
  } kCases[] = {
      {1, "1s", true, 5, "5", "5"},
      {10, "100ms", true, 3, "3", "0.3"},
      {1000000, "1us", true, 125, "125", "0.000125"},
      {2000000, "100ns", true, 3, "15", "0.0000015"},
      {4000000, "10ns", true, 1, "25", "0.00000025"},
      {8000000, "1ns", true, 1, "125", "0.000000125"},
      {16000000, "100ps", true, 1, "625", "0.0000000625"},
      {1024, "100ps", true, 1, "9765625", "0.0009765625"},
      {3000000, "1ps", false, 1, "333333", "0.000000333333"},
      {6000000, "1ps", false, 1, "166667", "0.000000166667"},
      {24000000, "1ps", false, 3, "125000", "0.000000125000"},
      {7, "1ps", false, 1, "142857142857", "0.142857142857"},
      {4294967295u, "1ps", false, 4294967295u, "1000000000000", "1.000000000000"},
  };
  for (const auto& c : kCases) {
    const Timebase time(c.rate);
    EXPECT_EQ(time.UnitName(), c.unit) << c.rate;
    EXPECT_EQ(time.exact(), c.exact) << c.rate;
    EXPECT_EQ(ToDecimal(time.At(c.sample)), c.ticks) << c.rate;
    EXPECT_EQ(time.Seconds(c.sample), c.seconds) << c.rate;
  }
}

}  // namespace
}  // namespace tqla::cli
