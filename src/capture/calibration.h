// Analog calibration: raw converter bytes to calibrated bytes through one
// table per channel, built from the EEPROM's offset and gain constants.
#pragma once

#include <cstdint>

namespace tqla {

struct CalibrationState {
  uint8_t ch1Table[256] = {};
  uint8_t ch2Table[256] = {};
  // Next sample word to correct, and 1 when the next call starts a new pass.
  uint32_t progressIndex = 0;
  uint32_t firstPass = 1;
};

extern CalibrationState calibrationState;

}  // namespace tqla
