// The device-wide user settings, read from "NAND\SETTING.PAR" (never written here).
// Of the 32-byte payload only the click switch at offset 12 matters to this program.
// Each screen that clicks holds one (inside its CSysParam), so the file is read again
// whenever such a screen is built.
#pragma once

#include <cstdint>

#include "store/parm_file.h"

class CSettings {
 public:
  static constexpr int kPayloadBytes = 32;

  // Reads the settings file. A file that fails a check still leaves the bytes it held;
  // a missing file leaves the payload zeroed, which turns the click sound off.
  CSettings();

  // Non-zero: screens play the key-click sound.
  std::int32_t ClickSwitch() const;
  const std::uint8_t* Payload() const { return m_Payload; }

 private:
  CParmFileRW m_File;
  std::uint8_t m_Payload[kPayloadBytes] = {};
};
