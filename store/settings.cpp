#include "store/settings.h"

#include <cstring>

CSettings::CSettings() { m_File.Read(u"NAND\\SETTING.PAR", m_Payload, kPayloadBytes, kPayloadBytes); }

std::int32_t CSettings::ClickSwitch() const {
  std::int32_t value;
  std::memcpy(&value, m_Payload + 12, sizeof value);
  return value;
}
