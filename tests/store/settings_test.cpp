#include "store/settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/temp_root.h"

namespace {

void WriteSettings(std::uint8_t (&payload)[32]) {
  CParmFileRW file;
  ASSERT_EQ(file.Write(u"NAND\\SETTING.PAR", payload, 32), 0);
}

}  // namespace

TEST(Settings, ClickSwitchIsTheWordAtOffsetTwelve) {
  TempDeviceRoot root;
  std::uint8_t payload[32];
  std::memset(payload, 0xFF, sizeof payload);  // bytes outside 12..15 have no effect
  std::memset(payload + 12, 0, 4);
  WriteSettings(payload);
  EXPECT_EQ(CSettings().ClickSwitch(), 0);

  payload[12] = 1;
  WriteSettings(payload);
  EXPECT_EQ(CSettings().ClickSwitch(), 1);

  payload[12] = 0;
  payload[15] = 0x80;  // any non-zero value is "on"
  WriteSettings(payload);
  EXPECT_NE(CSettings().ClickSwitch(), 0);
}

TEST(Settings, MissingFileGivesAZeroedPayload) {
  TempDeviceRoot root;
  CSettings settings;
  EXPECT_EQ(settings.ClickSwitch(), 0);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(settings.Payload()[i], 0) << i;
}

TEST(Settings, AFileFailingItsChecksumIsStillUsed) {
  TempDeviceRoot root;
  std::string bytes(16, '\0');
  bytes[4] = 32;  // dateBytes 32, checksum 0 (wrong for this payload)
  std::string payload(32, '\0');
  payload[12] = 1;
  root.WriteFile("NAND/SETTING.PAR", bytes + payload);
  EXPECT_EQ(CSettings().ClickSwitch(), 1);
}
