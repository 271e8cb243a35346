#include <gtest/gtest.h>

#include <filesystem>

#include "platform/device/drivers.h"
#include "platform/storage/files.h"
#include "platform/device/framebuffer.h"
#include "platform/storage/registry.h"
#include "platform/kernel/wide.h"
#include "tests/support/temp_root.h"

TEST(RegistryAndDrivers, RegistryTextAndFileBatteryFromTheRootBacklightRecordAndFrameRegister) {
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

  // A query's result, and the DWORD it read (0xBAD when the value is of another type).
  const auto dword = [](HKEY k, const char16_t* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG result = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    return std::pair<LONG, DWORD>{result, type == REG_DWORD ? value : 0xBAD};
  };
  EXPECT_EQ(dword(key, u"LCD_Width"), (std::pair<LONG, DWORD>{ERROR_SUCCESS, 800}));
  EXPECT_EQ(dword(key, u"LCD_Height").first, ERROR_FILE_NOT_FOUND);

  WCHAR text[32];
  DWORD type = 0, size = 4;
  EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, (15u + 1u) * 2u);
  EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(WString(text), u"a \"quoted\" name");
  size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);  // size only
  EXPECT_EQ(size, 32u);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  // Parents of a key exist, and keys open below an open key.
  HKEY display = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Drivers\\Display", 0, 0, &display), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(display, u"TCC79X\\CONFIG", 0, 0, &key), ERROR_SUCCESS);
  EXPECT_EQ(dword(key, u"LCD_WIDTH").first, ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(display, u"LCD_Width", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  RegCloseKey(display);

  // The root's file, in UTF-8 or UTF-16.
  TempDeviceRoot root;
  const std::u16string file = u"\uFEFF[Drivers\\Display\\TCC78X\\CONFIG]\r\n\"LCD_Height\"=dword:000001E0\r\n";
  std::string utf16;
  for (char16_t c : file) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  for (const std::string& bytes : {utf16, "\xEF\xBB\xBF" + ToUtf8(file.substr(1))}) {
    root.WriteFile("registry.txt", bytes);
    SetDeviceRoot(root.Path().string());
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Display\\TCC78X\\CONFIG", 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(dword(key, u"LCD_Height"), (std::pair<LONG, DWORD>{ERROR_SUCCESS, 480}));
    RegCloseKey(key);
  }
  std::filesystem::remove(root.Path() / "registry.txt");
  SetDeviceRoot(root.Path().string());
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers", 0, 0, &key), ERROR_FILE_NOT_FOUND);

  // The battery state from the root, the backlight's record and the frame register.
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

  ClearBacklightCalls();
  HANDLE backlight = CreateFileW(u"BKL1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(backlight, INVALID_HANDLE_VALUE);
  for (DWORD request : {0u, 1u}) {
    EXPECT_TRUE(DeviceIoControl(backlight, 0x223490, &request, 4, &out, 4, &returned, nullptr));
    EXPECT_TRUE(DeviceIoControl(backlight, 0x223494, &request, 4, &out, 4, &returned, nullptr));
  }
  EXPECT_FALSE(DeviceIoControl(backlight, 0x223494, nullptr, 0, &out, 4, &returned, nullptr));  // no value
  CloseHandle(backlight);
  std::vector<std::pair<DWORD, DWORD>> calls;
  for (const BacklightCall& call : GetBacklightCalls()) calls.emplace_back(call.code, call.value);
  EXPECT_EQ(calls, (std::vector<std::pair<DWORD, DWORD>>{{0x223490, 0}, {0x223494, 0}, {0x223490, 1}, {0x223494, 1}}));

  SetBacklightPresent(false);
  EXPECT_EQ(CreateFileW(u"bkl1:", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetBacklightPresent(true);

  // The frame base register chooses the shown frame.
  EXPECT_EQ(*GetFrameBaseRegister(), kVisibleFramePhysical);
  EXPECT_EQ(GetShownFrame(), GetVisibleFrame());
  *GetFrameBaseRegister() = kShadowFramePhysical;
  EXPECT_EQ(GetShownFrame(), GetShadowFrame());
  *GetFrameBaseRegister() = 0x12345678;  // anything else shows the visible frame
  EXPECT_EQ(GetShownFrame(), GetVisibleFrame());
  *GetFrameBaseRegister() = kVisibleFramePhysical;
}

