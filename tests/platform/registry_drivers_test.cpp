#include <gtest/gtest.h>

#include "platform/drivers.h"
#include "platform/files.h"
#include "platform/framebuffer.h"
#include "platform/registry.h"
#include "tests/support/temp_root.h"

TEST(Registry, ReadsTypedValuesAndIgnoresBadLines) {
  LoadRegistryFromText(
      "; display\n"
      "[HKEY_LOCAL_MACHINE\\Drivers\\Display\\TCC79X\\CONFIG]\n"
      "\"LCD_Width\"=dword:00000320\n"
      "\"LCD_Height\"=dword:zz\n"          // not a number: ignored
      "\"Name\"=\"a \\\"quoted\\\" name\"\n"
      "garbage line\n"
      "[Unterminated\n"
      "\"Lost\"=dword:1\n");              // belongs to no key
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Display\\TCC78X\\CONFIG", 0, 0, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"drivers\\display\\tcc79x\\config", 0, 0, &key), ERROR_SUCCESS);

  DWORD type = 0, value = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExW(key, u"LCD_Width", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value, 800u);
  EXPECT_EQ(RegQueryValueExW(key, u"LCD_Height", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_FILE_NOT_FOUND);

  WCHAR text[32];
  size = 4;
  EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, (15u + 1u) * 2u);
  EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(WString(text), u"a \"quoted\" name");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  LoadRegistryFromText("");
}

TEST(Drivers, BatteryFromTheRootAndBacklightRecord) {
  TempDeviceRoot root;
  root.WriteFile("battery.txt", "2\n");
  SetDeviceRoot(root.Path().string());
  EXPECT_EQ(GetSimulatedBatteryState(), 2);
  HANDLE battery = CreateFileW(u"BAT2:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(battery, INVALID_HANDLE_VALUE);
  SetBatteryState(6);  // changes while the program runs
  LONG in = 0, out = -1;
  DWORD returned = 0;
  EXPECT_TRUE(DeviceIoControl(battery, IOCTL_BATTERY_READ_STATE, &in, 4, &out, 4, &returned, nullptr));
  EXPECT_EQ(out, 6);
  EXPECT_FALSE(DeviceIoControl(battery, IOCTL_BATTERY_READ_STATE, &in, 4, &out, 2, &returned, nullptr));
  CloseHandle(battery);

  root.WriteFile("battery.txt", "not a number");
  LoadBatteryStateFromRoot();
  EXPECT_EQ(GetSimulatedBatteryState(), 7);

  SetBacklightPresent(false);
  EXPECT_EQ(CreateFileW(u"bkl1:", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetBacklightPresent(true);
}

TEST(FrameBuffer, TheRegisterChoosesTheShownFrame) {
  EXPECT_EQ(*GetFrameBaseRegister(), kVisibleFramePhysical);
  EXPECT_EQ(GetShownFrame(), GetVisibleFrame());
  *GetFrameBaseRegister() = kShadowFramePhysical;
  EXPECT_EQ(GetShownFrame(), GetShadowFrame());
  *GetFrameBaseRegister() = 0x12345678;  // anything else shows the visible frame
  EXPECT_EQ(GetShownFrame(), GetVisibleFrame());
  *GetFrameBaseRegister() = kVisibleFramePhysical;
}
