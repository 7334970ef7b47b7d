// A decoder test: a host sample array as the current buffer, a temporary
// folder for record and packet files, the console captured, and the shared
// decoder state reset.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_state.h"
#include "decoders/decoder_frame.h"
#include "frame/console.h"
#include "packets/packets_state.h"
#include "test_support.h"
#include "tqla/tqla.h"

namespace tqla::test {

// A record line taken apart: the time of its header in seconds and the text
// after "<time>, NAME, ". Lines without that header are left out.
struct RecordLine {
  double seconds;
  std::string body;
};

inline std::vector<RecordLine> RecordLines(const std::string& records, const std::string& name) {
  std::vector<RecordLine> lines;
  const std::string header = ", " + name + ", ";
  for (size_t at = 0; at <= records.size();) {
    size_t end = records.find('\n', at);
    if (end == std::string::npos) end = records.size();
    const std::string line = records.substr(at, end - at);
    at = end + 1;
    const size_t body = line.find(header);
    if (body == std::string::npos) continue;
    char* unit = nullptr;
    double seconds = std::strtod(line.c_str(), &unit);
    seconds *= *unit == 'n' ? 1e-9 : *unit == 'u' ? 1e-6 : *unit == 'm' ? 1e-3 : 1.0;
    lines.push_back({seconds, line.substr(body + header.size())});
  }
  return lines;
}

using Texts = std::vector<std::string>;

class DecodersTest : public ::testing::Test {
 public:
  void SetUp() override {
    ResetCapture();
    ResetDecoders();
    packets::ResetPackets();
  }
  void TearDown() override {
    ResetDecoders();
    SetCurrentBuffer(nullptr, 0, 0);
  }

  // Makes words (padded with idle samples so that the clamp to length - 2
  // keeps all of them) the current buffer.
  uint32_t* Use(std::vector<uint32_t> words, uint32_t idle) {
    words.insert(words.end(), 4, idle);
    words.shrink_to_fit();  // a read past the last word leaves the allocation
    samples_ = std::move(words);
    UseHostBuffer(samples_, static_cast<uint32_t>(samples_.size()));
    return samples_.data();
  }
  int32_t length() const { return static_cast<int32_t>(samples_.size()); }

  std::string Console() { return console_.str(); }
  std::string Read(const std::string& name) { return ReadCrLfText(dir_.file(name)); }
  // The bodies of the record lines of the decoder named with DecodeSetName.
  Texts Bodies() {
    Texts bodies;
    for (const RecordLine& line : RecordLines(Read("records.txt"), decoderState.DecoderName)) {
      bodies.push_back(line.body);
    }
    return bodies;
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    FILE* f = std::fopen(dir_.file(name).c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return dir_.file(name);
  }
  uint8_t* out() {
    outPath_ = dir_.file("records.txt");
    return reinterpret_cast<uint8_t*>(outPath_.data());
  }
  char* protocol(const std::string& text) {
    protocolPath_ = WriteFile("protocol.txt", text);
    return protocolPath_.data();
  }
  char* packets() {
    packetPath_ = dir_.file("packets.txt");
    return packetPath_.data();
  }

  TempDir dir_;
  std::vector<uint32_t> samples_;
  std::string outPath_, protocolPath_, packetPath_;
  char error_[256] = {};

 private:
  ConsoleText console_;
};

// A protocol file that cuts the stream between two events and writes a debug
// record of every packet's entries, so that the events a decoder sends show
// in the packet file.
inline std::string EventProtocol(int startEvent, int endEvent) {
  return "[PROTOCOL]\nNAME = P\n[START]\nTYPE = EVENT\nEVENT = " + std::to_string(startEvent) +
         "\n[END]\nTYPE = EVENT\nEVENT = " + std::to_string(endEvent) +
         "\n[FIELDS]\nFIELDS X.N.H\n[DEBUG]\nDEBUGON\n";
}

// Reads the packet file a run with a DEBUGON protocol wrote and checks each
// packet's offsets against the raw record file: both lie inside the file and
// fall between values (never inside a value or a line end); the first value
// written from the start offset on is the packet's first, and its last value
// is the last one written before the end offset or the first one after it
// (a packet can end on an entry whose text is not written yet). The values
// come from the debug record written before the packet record; records must
// show them as two hex digits. Returns the number of packets checked.
inline int ExpectPacketOffsetsInRecords(DecodersTest& t) {
  const auto raw = ReadAll(t.dir_.file("records.txt"));
  const std::string records(raw.begin(), raw.end());
  auto boundary = [&](size_t at) {
    return at == 0 || at == records.size() || std::strchr(" ,\n", records[at - 1]) != nullptr;
  };
  auto hexAt = [&](size_t at) {
    return at + 2 <= records.size() && std::isxdigit(static_cast<uint8_t>(records[at])) &&
           std::isxdigit(static_cast<uint8_t>(records[at + 1])) && (at == 0 || std::strchr(" ,\n:", records[at - 1])) &&
           (at + 2 == records.size() || std::strchr(" ,\r", records[at + 2]));
  };
  auto firstFrom = [&](size_t at) {
    for (; at + 2 <= records.size(); ++at) {
      if (hexAt(at)) return records.substr(at, 2);
    }
    return std::string();
  };
  auto lastBefore = [&](size_t at) {
    for (size_t k = at; k >= 2; --k) {
      if (hexAt(k - 2)) return records.substr(k - 2, 2);
    }
    return std::string();
  };
  int checked = 0;
  std::istringstream lines(t.Read("packets.txt"));
  std::vector<std::string> values;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Packet Debug, ,", 0) == 0) {
      if (line.find("DATA,") == std::string::npos) continue;
      values.clear();
      for (size_t at = 0; (at = line.find("DATA,", at)) != std::string::npos; at += 7) values.push_back(line.substr(at + 5, 2));
      continue;
    }
    SCOPED_TRACE(line);
    const size_t eop = line.rfind("EoP, ,");
    if (eop == std::string::npos || values.empty()) {
      ADD_FAILURE() << "a packet record without a debug record before it";
      break;
    }
    const size_t start = std::stoul(line.substr(eop + 6));
    const size_t end = std::stoul(line.substr(line.find(',', eop + 6) + 1));
    EXPECT_LE(start, end);
    EXPECT_LE(end, records.size());
    EXPECT_TRUE(boundary(start)) << "start " << start;
    EXPECT_TRUE(boundary(end)) << "end " << end;
    EXPECT_EQ(firstFrom(start), values.front()) << "at " << start;
    if (end <= records.size() && lastBefore(end) != values.back()) {
      EXPECT_EQ(firstFrom(end), values.back()) << "at " << end;
    }
    values.clear();
    ++checked;
  }
  return checked;
}

// Record text with every header ("<timestamp> <name>, ") cut out, for
// comparing what was decoded with what was sent.
inline std::string WithoutHeaders(const std::string& records, const std::string& name) {
  const std::string after = " " + name + ", ";
  std::string text;
  size_t from = 0;
  for (size_t at; (at = records.find(after, from)) != std::string::npos; from = at + after.size()) {
    size_t begin = at;
    if (begin >= 3 && records[begin - 1] == ',') {
      begin -= 3;  // "ns,", "us,", "ms," or "s ,", after the number
      while (begin > from && std::strchr("+-. 0123456789", records[begin - 1])) --begin;
    }
    text.append(records, from, begin - from);
  }
  return text.append(records, from);
}

}  // namespace tqla::test

namespace tqla::test {

// Two protocols with signal conditions: A starts where channel 1 (every
// test's clock or line) falls and takes 8 bits; B watches analog bit 20, which
// makes every digital change a place to look, and channel 1 rising.
inline const char* kSignalProtocols =
    "[PROTOCOL]\nNAME = A\n[START]\nTYPE = SIGNAL\nSIGNAL = 1\nLEVEL = 0\n[END]\nTYPE = LENGTH\n"
    "BITLENGTH = 8\n[FIELDS]\nFIELDS X.N.H\n"
    "[PROTOCOL]\nNAME = B\n[START]\nTYPE = SIGNAL\nSIGNAL = 20\nLEVEL = 1\n[END]\nTYPE = SIGNAL\nSIGNAL = 1\n"
    "LEVEL = 1\n[FIELDS]\nFIELDS X.8.H\n[DEBUG]\n";

// Runs decode in both walk modes and expects the same record and packet
// files; returns the record file.
template <class Decode>
std::string SameInBothWalkModes(DecodersTest& t, Decode decode) {
  std::string files[2][2];
  for (int mode = 0; mode < 2; ++mode) {
    decoders::SetWalkMode(mode ? decoders::WalkMode::kEverySample : decoders::WalkMode::kChanges);
    EXPECT_EQ(decode(), 1);
    files[mode][0] = t.Read("records.txt");
    files[mode][1] = t.Read("packets.txt");
  }
  decoders::SetWalkMode(decoders::WalkMode::kChanges);
  EXPECT_EQ(files[0][0], files[1][0]);
  EXPECT_EQ(files[0][1], files[1][1]);
  EXPECT_FALSE(files[0][1].empty());
  return files[0][0];
}

}  // namespace tqla::test
