// A presenter run for one test: a protocol file, the packet output file and
// the console messages, all in a fresh directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "frame/console.h"
#include "packets/packets_state.h"
#include "test_support.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::test {

inline std::string ProtocolPath(const std::string& name) {
  return (std::filesystem::path(__FILE__).parent_path() / "protocols" / name).string();
}

inline std::string RecordPath(const std::string& name) {
  return (std::filesystem::path(__FILE__).parent_path() / "records" / name).string();
}

class PacketsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    packets::ResetPackets();
    packets::streamPosition.DecoderSampleRate = 1000000;
  }
  void TearDown() override { CloseRedodoRovodovoz(); }

  std::string Console() { return console_.str(); }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.file(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
  }

  // Parses text as the protocol file; 1 or 0 as InitializeRedodoRovodovoz.
  int Init(const std::string& text) { return InitFile(Write("protocol.txt", text)); }
  int InitFile(const std::string& protocolPath) {
    error_[0] = '\0';
    output_ = dir_.file("packets.txt");
    return InitializeRedodoRovodovoz(const_cast<char*>(protocolPath.c_str()), output_.data(), error_);
  }

  // The packet records written so far (closes the run).
  std::string Records() {
    CloseRedodoRovodovoz();
    return ReadCrLfText(output_);
  }

  void Data(uint8_t value, int bits = 8, int channel = TQLA_PACKET_CHANNEL_X, int protocol = 0) {
    SendDataStream(protocol, sample_, value, static_cast<char>(bits), static_cast<char>(channel), 0, offset_);
    sample_ += 10;
    offset_ += 3;
  }
  void Event(uint8_t code, int channel = TQLA_PACKET_CHANNEL_X, int protocol = 0) {
    SendDataStream(protocol, sample_, code, 0, static_cast<char>(channel), 1, offset_);
    sample_ += 10;
  }
  void Bytes(std::initializer_list<uint8_t> values) {
    for (uint8_t v : values) Data(v);
  }

  const packets::ProtocolDef& Protocol(int p = 0) const { return packets::packetsState.protocols[p]; }
  const packets::FieldDef& Field(int line, int field, int p = 0) const {
    return packets::packetsState.fieldLines[p][line].fields[field];
  }

  TempDir dir_;
  char error_[packets::kErrorTextSize] = {};
  std::string output_;
  uint32_t sample_ = 100;
  int32_t offset_ = 0;

 private:
  ConsoleText console_;
};

}  // namespace tqla::test
