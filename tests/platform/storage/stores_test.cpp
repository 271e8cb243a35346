#include "platform/storage/stores.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_root.h"

namespace {

STOREINFO Record() {
  STOREINFO info{};
  info.cbSize = sizeof info;
  return info;
}

// The stores listed now: name and device flags.
std::vector<std::pair<std::u16string, DWORD>> Stores() {
  std::vector<std::pair<std::u16string, DWORD>> stores;
  STOREINFO info = Record();
  HANDLE search = FindFirstStore(&info);
  if (search == INVALID_HANDLE_VALUE) {
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    return stores;
  }
  do {
    EXPECT_EQ(info.cbSize, 240u);
    EXPECT_EQ(info.sdi.dwDeviceFlags, info.dwDeviceFlags);
    stores.emplace_back(info.szStoreName, info.sdi.dwDeviceFlags);
  } while (FindNextStore(search, &info));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_TRUE(FindCloseStore(search));
  EXPECT_FALSE(FindCloseStore(search));
  return stores;
}

using Stores_t = std::vector<std::pair<std::u16string, DWORD>>;
const Stores_t kWritableCard = {{u"SD Memory Card", STORAGE_DEVICE_FLAG_READWRITE}};
const Stores_t kReadOnlyCard = {{u"SD Memory Card", STORAGE_DEVICE_FLAG_READONLY}};

HANDLE Open(LPCWSTR path, DWORD access, DWORD creation) {
  return CreateFileW(path, access, FILE_SHARE_READ, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool CanWrite(LPCWSTR path) {
  HANDLE file = Open(path, GENERIC_WRITE, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool CanRead(LPCWSTR path) {
  HANDLE file = Open(path, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

TEST(Stores, TheCardIsListedWithItsWriteFlagWhileItIsThere) {
  TempDeviceRoot root;
  EXPECT_EQ(Stores(), kWritableCard);
  STOREINFO info = Record();
  HANDLE search = FindFirstStore(&info);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(info.szDeviceName), u"DSK1:");
  EXPECT_EQ(info.dwAttributes & STORE_ATTRIBUTE_REMOVABLE, STORE_ATTRIBUTE_REMOVABLE);
  EXPECT_GT(info.snNumSectors, 0u);
  FindCloseStore(search);

  // A record of another size is refused, as is a handle that is not a store search.
  STOREINFO wrong = Record();
  wrong.cbSize = 236;
  EXPECT_EQ(FindFirstStore(&wrong), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FindFirstStore(nullptr), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindNextStore(nullptr, &info));

  // A card folder without write permission is a read-only card.
  std::filesystem::permissions(root.Path() / "SDMMC", std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_exec);
  EXPECT_EQ(Stores(), kReadOnlyCard);
  std::filesystem::permissions(root.Path() / "SDMMC", std::filesystem::perms::owner_all);
  EXPECT_EQ(Stores(), kWritableCard);

  std::filesystem::remove_all(root.Path() / "SDMMC");
  EXPECT_EQ(Stores(), Stores_t{});
}

TEST(CardSlot, AWriteProtectedCardIsReadButNotChanged) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/keep.jpg", "k");
  SetCardWriteProtected(true);
  EXPECT_TRUE(IsCardMounted());
  EXPECT_TRUE(IsCardReadOnly());
  EXPECT_EQ(Stores(), kReadOnlyCard);
  EXPECT_FALSE(CanWrite(u"\\SDMMC\\bmkPho.rom"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CanWrite(u"\\SDMMC\\keep.jpg"));
  EXPECT_FALSE(DeleteFileW(u"\\SDMMC\\keep.jpg"));
  EXPECT_FALSE(SetFileAttributesW(u"\\SDMMC\\keep.jpg", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(CanRead(u"\\SDMMC\\keep.jpg"));
  EXPECT_TRUE(CanWrite(u"\\NAND\\elsewhere"));  // only the card is protected
  EXPECT_EQ(root.ReadFile("SDMMC/keep.jpg"), "k");

  SetCardWriteProtected(false);
  EXPECT_EQ(Stores(), kWritableCard);
  EXPECT_TRUE(CanWrite(u"\\SDMMC\\bmkPho.rom"));
}

TEST(CardSlot, ATakenOutCardIsGoneWithEveryWayOntoItUntilItIsPutBack) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/Trip/a.jpg", "a");
  std::filesystem::create_directory_symlink(root.Path() / "SDMMC", root.Path() / "NAND" / "card");
  SetCardTakenOut(true);
  EXPECT_FALSE(IsCardMounted());
  EXPECT_TRUE(IsCardReadOnly());
  EXPECT_EQ(Stores(), Stores_t{});
  WIN32_FIND_DATAW found;
  EXPECT_EQ(FindFirstFileW(u"\\SDMMC\\*.*", &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesW(u"\\SDMMC"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(CanRead(u"\\SDMMC\\Trip\\a.jpg"));
  EXPECT_FALSE(CanRead(u"\\NAND\\card\\Trip\\a.jpg"));
  EXPECT_FALSE(CanWrite(u"\\SDMMC\\new.txt"));
  EXPECT_EQ(_wfopen(u"\\sdmmc\\trip\\A.JPG", u"rb"), nullptr);
  EXPECT_FALSE(CreateDirectoryW(u"\\SDMMC\\New", nullptr));
  // The rest of the device is there.
  EXPECT_TRUE(CanWrite(u"\\NAND\\settings"));
  HANDLE nand = FindFirstFileW(u"\\NAND\\*.*", &found);
  EXPECT_NE(nand, INVALID_HANDLE_VALUE);
  FindClose(nand);

  SetCardTakenOut(false);
  EXPECT_TRUE(IsCardMounted());
  EXPECT_EQ(Stores(), kWritableCard);
  EXPECT_TRUE(CanRead(u"\\NAND\\card\\Trip\\a.jpg"));
  EXPECT_FALSE(root.Exists("SDMMC/new.txt"));

  // Choosing a device root puts the card back, writable.
  SetCardTakenOut(true);
  SetCardWriteProtected(true);
  TempDeviceRoot next;
  EXPECT_EQ(Stores(), kWritableCard);
}
