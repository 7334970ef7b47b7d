// Writers of the formats other programs open: VCD and CSV.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli.h"

namespace tqla::cli {

struct ExportWindow {
  const uint32_t* samples = nullptr;
  uint64_t count = 0;
  uint32_t rateHz = 1;
  uint8_t analogChannels = 0;  // AnalogChannel bits: which scope channels to write
  std::string date;            // the capture's creation time
  std::string cutShort;        // why the capture was cut short, if it was
  // The first sample's index counted from the time origin (sample 0 of the
  // capture, or its trigger): its time is firstTime / rate, negative before the
  // origin (CSV only: a VCD starts at time 0 or later).
  int64_t firstTime = 0;
};

// Value Change Dump (IEEE 1364): d0..d15 as 1-bit wires, CH1 and CH2 as real
// variables in volts, the initial values under $dumpvars at #0, then only the
// changes, and a closing timestamp one sample after the last one.
void WriteVcd(std::FILE* out, const ExportWindow& window, Progress* progress);

// RFC 4180 CSV with CRLF line ends: a header row, then one row per sample of
// the time in seconds, d0..d15 as 0/1 and CH1, CH2 in volts.
void WriteCsv(std::FILE* out, const ExportWindow& window, Progress* progress);

// Volts of an analog byte as the shortest decimal that reads back exactly.
const char* VoltsText(uint8_t value);

}  // namespace tqla::cli
