#include "platform/storage/stores.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/kernel/wide.h"
#include "tests/support/temp_root.h"

namespace {

using StoreList = std::vector<std::pair<std::u16string, DWORD>>;  // names and device flags
const StoreList kWritableCard = {{u"SD Memory Card", STORAGE_DEVICE_FLAG_READWRITE}};
const StoreList kReadOnlyCard = {{u"SD Memory Card", STORAGE_DEVICE_FLAG_READONLY}};

StoreList Stores() {
  StoreList stores;
  STOREINFO info{};
  info.cbSize = sizeof info;
  HANDLE search = FindFirstStore(&info);
  if (search == INVALID_HANDLE_VALUE) {
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    return stores;
  }
  do {
    EXPECT_EQ(info.dwDeviceFlags, info.sdi.dwDeviceFlags);
    stores.emplace_back(info.szStoreName, info.sdi.dwDeviceFlags);
  } while (FindNextStore(search, &info));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_TRUE(FindCloseStore(search));
  EXPECT_FALSE(FindCloseStore(search));
  return stores;
}

bool Opens(LPCWSTR path, DWORD access) {
  HANDLE file = CreateFileW(path, access, FILE_SHARE_READ, nullptr, access == GENERIC_READ ? OPEN_EXISTING : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file != INVALID_HANDLE_VALUE && CloseHandle(file);
}

}  // namespace

TEST(CardSlot, TheCardIsListedReadOnlyWhenItCannotBeWrittenAndGoneWhenTakenOut) {
  TempDeviceRoot root;
  EXPECT_EQ(Stores(), kWritableCard);
  STOREINFO wrong{};
  wrong.cbSize = 236;
  EXPECT_EQ(FindFirstStore(&wrong), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  root.WriteFile("SDMMC/keep.jpg", "k");
  std::filesystem::create_directory_symlink(root.Path() / "SDMMC", root.Path() / "NAND" / "card");
  // Locked, or a folder that cannot be written: the card is listed read-only, and every way
  // onto it, also from elsewhere in the root, reads but never writes.
  for (bool locked : {true, false}) {
    SCOPED_TRACE(locked ? "write-protected" : "a read-only folder");
    if (locked) SetCardWriteProtected(true);
    else std::filesystem::permissions(root.Path() / "SDMMC", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_TRUE(IsCardMounted() && IsCardReadOnly());
    EXPECT_EQ(Stores(), kReadOnlyCard);
    for (LPCWSTR path : {u"\\SDMMC\\keep.jpg", u"\\SDMMC\\bmkPho.rom", u"\\NAND\\card\\bmkPho.rom"}) {
      EXPECT_FALSE(Opens(path, GENERIC_WRITE)) << ToUtf8(path);
      EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(_wfopen(u"\\SDMMC\\bmkPho.rom", u"wb"), nullptr);
    EXPECT_FALSE(CreateDirectoryW(u"\\SDMMC\\New", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileW(u"\\SDMMC\\keep.jpg"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SetFileAttributesW(u"\\SDMMC\\keep.jpg", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(Opens(u"\\sdmmc\\KEEP.jpg", GENERIC_READ));
    EXPECT_TRUE(Opens(u"\\NAND\\elsewhere", GENERIC_WRITE));
    EXPECT_EQ(root.ReadFile("SDMMC/keep.jpg"), "k");
    SetCardWriteProtected(false);
    std::filesystem::permissions(root.Path() / "SDMMC", std::filesystem::perms::owner_all);
  }
  EXPECT_TRUE(Opens(u"\\SDMMC\\keep.jpg", GENERIC_WRITE));

  // Taken out, the card is gone with every way onto it until it is put back.
  root.WriteFile("SDMMC/Trip/a.jpg", "a");
  SetCardTakenOut(true);
  EXPECT_FALSE(IsCardMounted());
  EXPECT_EQ(Stores(), StoreList{});
  WIN32_FIND_DATAW found;
  EXPECT_EQ(FindFirstFileW(u"\\SDMMC\\*.*", &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(Opens(u"\\SDMMC\\Trip\\a.jpg", GENERIC_READ));
  EXPECT_FALSE(Opens(u"\\NAND\\card\\Trip\\a.jpg", GENERIC_READ));
  EXPECT_FALSE(Opens(u"\\SDMMC\\new.txt", GENERIC_WRITE));
  EXPECT_EQ(_wfopen(u"\\sdmmc\\trip\\A.JPG", u"rb"), nullptr);
  EXPECT_TRUE(Opens(u"\\NAND\\settings", GENERIC_WRITE));  // the rest of the device is there

  SetCardTakenOut(false);
  EXPECT_EQ(Stores(), kWritableCard);
  EXPECT_TRUE(Opens(u"\\NAND\\card\\Trip\\a.jpg", GENERIC_READ));
  // Choosing a device root puts the card back, writable.
  SetCardTakenOut(true);
  SetCardWriteProtected(true);
  TempDeviceRoot next;
  EXPECT_EQ(Stores(), kWritableCard);
  std::filesystem::remove_all(next.Path() / "SDMMC");  // no card folder: no store
  EXPECT_EQ(Stores(), StoreList{});
}
