#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "pod.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

// The pod's EEPROM is addressed with 16 bits.
constexpr uint64_t kEepromEnd = 0x10000;

constexpr OptionSpec kOptions[] = {
    {"pod", 0, "ID", "the pod to use (default: the first one listed)"},
    {"address", 'a', "A", "first EEPROM address (default 0; 0x.. for hexadecimal)"},
    {"length", 'n', "N", "read: bytes to read (default 256)"},
    {"output", 'o', "FILE", "read: write the raw bytes to FILE instead of a hex dump"},
    {"hex", 0, "BYTES", "write: the bytes as hexadecimal pairs, e.g. 0010A0FF"},
    {"input", 'i', "FILE", "write: the raw bytes of FILE"},
};

constexpr CommandSpec kSpec = {
    "eeprom",
    "read [--pod ID] [-a A] [-n N] [-o FILE] | write [--pod ID] -a A (--hex BYTES | -i FILE)",
    "Reads or writes the pod's EEPROM through its Digital FX2. The calibration\n"
    "constants of the scope channels are four 32-bit little-endian words at 96\n"
    "(CH1 gain), 100 (CH2 gain), 104 (CH1 offset) and 108 (CH2 offset), each\n"
    "with 24 fraction bits.",
    kOptions,
    1,
    1,
};

uint64_t Address(const ParsedArgs& args) {
  const std::string text = args.Value("address", "0");
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str() + 2, &end, 16);
    if (text.size() == 2 || *end || value >= kEepromEnd) throw UsageError("bad --address '" + text + "'");
    return value;
  }
  return ParseUnsigned("--address", text, kEepromEnd - 1);
}

std::vector<uint8_t> BytesToWrite(const ParsedArgs& args) {
  if (args.Has("hex") == args.Has("input")) throw UsageError("write needs --hex or --input (one of them)");
  std::vector<uint8_t> bytes;
  if (args.Has("input")) {
    std::ifstream in(args.Value("input"), std::ios::binary);
    if (!in) throw CliError(args.Value("input") + ": cannot be read");
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else {
    const std::string hex = args.Value("hex");
    if (hex.empty() || hex.size() % 2 || !std::all_of(hex.begin(), hex.end(), [](char c) {
          return std::isxdigit(static_cast<unsigned char>(c));
        }))
      throw UsageError("--hex takes pairs of hexadecimal digits");
    for (size_t i = 0; i < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  if (bytes.empty()) throw UsageError("nothing to write");
  return bytes;
}

void HexDump(uint64_t address, const std::vector<uint8_t>& bytes) {
  for (size_t row = 0; row < bytes.size(); row += 16) {
    std::printf("%04llX:", static_cast<unsigned long long>(address + row));
    for (size_t i = row; i < row + 16 && i < bytes.size(); ++i) std::printf(" %02X", bytes[i]);
    std::printf("\n");
  }
}

}  // namespace

int RunEeprom(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const std::string action = args.positional[0];
  if (action != "read" && action != "write") throw UsageError("unknown eeprom action '" + action + "' (read or write)");
  const uint64_t address = Address(args);
  std::optional<uint32_t> pod;
  if (args.Has("pod")) pod = static_cast<uint32_t>(args.Unsigned("pod", 0, 0xFFFF));

  if (action == "read") {
    const uint64_t length = args.Unsigned("length", 256, kEepromEnd);
    if (length == 0 || address + length > kEepromEnd) throw UsageError("the range passes the end of the EEPROM");
    OpenPod open(pod);
    std::vector<uint8_t> bytes(length);
    ReadEEPROM(static_cast<uint32_t>(address), static_cast<uint32_t>(length), bytes.data());
    if (!TqlaLastTransferResult()) throw CliError("the pod did not answer the EEPROM read");
    if (args.Has("output")) {
      OutputFile out(args.Value("output"));
      std::fwrite(bytes.data(), 1, bytes.size(), out.get());
      out.Close();
    } else {
      HexDump(address, bytes);
    }
    return 0;
  }
  std::vector<uint8_t> bytes = BytesToWrite(args);
  if (address + bytes.size() > kEepromEnd) throw UsageError("the bytes pass the end of the EEPROM");
  OpenPod open(pod);
  WriteEEPROM(static_cast<uint32_t>(address), static_cast<uint32_t>(bytes.size()), bytes.data());
  if (!TqlaLastTransferResult()) throw CliError("the pod did not accept the EEPROM write");
  std::printf("wrote %zu byte%s at %llu\n", bytes.size(), bytes.size() == 1 ? "" : "s",
              static_cast<unsigned long long>(address));
  return 0;
}

}  // namespace tqla::cli
