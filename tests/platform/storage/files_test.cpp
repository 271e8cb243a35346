// Files, folders and paths on the device root, and the card slot and its store.
#include "platform/storage/files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/storage/device_paths.h"
#include "platform/storage/stores.h"
#include "platform/kernel/wide.h"
#include "tests/support/temp_root.h"

namespace {

HANDLE Open(LPCWSTR path, DWORD access, DWORD share, DWORD creation) {
  return CreateFileW(path, access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The error an open ends with, or 0 when it opened (the handle is closed again).
DWORD OpenError(LPCWSTR path, DWORD access, DWORD share, DWORD creation) {
  HANDLE file = Open(path, access, share, creation);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return 0;
}

std::string ReadAll(LPCWSTR path) {
  HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return "<no file>";
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD got = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes.substr(0, got);
}

// What a folder holds on the host, names only, in byte order.
std::vector<std::string> HostNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

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
  return OpenError(path, access, FILE_SHARE_READ, access == GENERIC_READ ? OPEN_EXISTING : CREATE_ALWAYS) == 0;
}

}  // namespace

TEST(DevicePaths, ResolveWithoutRegardToCaseKeepNewNamesAndStayInsideTheRoot) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/Trips/Straße.JPG", "photo");
  const std::string card = root.Path().string() + "/SDMMC";
  EXPECT_EQ(ResolveDevicePath(u"\\sdmmc\\TRIPS\\straße.jpg"), card + "/Trips/Straße.JPG");
  EXPECT_EQ(ResolveDevicePath(u"SDMMC\\Trips\\Straße.JPG"), card + "/Trips/Straße.JPG");
  EXPECT_EQ(ResolveDevicePath(u"\\SDMMC\\\\Trips\\"), card + "/Trips");
  EXPECT_EQ(ReadAll(u"sdmmc\\trips\\STRASSE.jpg"), "<no file>");  // no folding beyond case
  EXPECT_EQ(ReadAll(u"\\SDMMC\\TRIPS\\STRAßE.JPG"), "photo");
  root.WriteFile("SDMMC/Фото/Ärger ĳ.png", "cyrillic");
  EXPECT_EQ(ReadAll(u"\\SDMMC\\фОТО\\äRGER Ĳ.PNG"), "cyrillic");

  // A new name keeps the case it was given, and later opens find it in any case.
  ASSERT_EQ(OpenError(u"\\sdmmc\\trips\\New Name.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS), 0u);
  EXPECT_TRUE(std::filesystem::exists(card + "/Trips/New Name.TXT"));
  EXPECT_EQ(GetFileAttributesW(u"\\SDMMC\\TRIPS\\new name.txt") & FILE_ATTRIBUTE_DIRECTORY, 0u);

  // Nothing outside the root can be reached.
  TempDeviceRoot outside;  // sets itself as the root: put ours back
  outside.WriteFile("secret.txt", "secret");
  SetDeviceRoot(root.Path().string());
  std::filesystem::create_directory_symlink(outside.Path(), root.Path() / "SDMMC" / "away");
  std::filesystem::create_symlink(outside.Path() / "secret.txt", root.Path() / "SDMMC" / "secret.jpg");

  for (LPCWSTR path : {u"\\SDMMC\\..\\..\\secret.txt", u"..\\secret.txt", u"\\SDMMC\\away\\secret.txt",
                       u"\\SDMMC\\secret.jpg"}) {
    const DWORD error = OpenError(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << ToUtf8(path) << ": " << error;
  }
  EXPECT_EQ(Open(u"\\SDMMC\\away\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(std::filesystem::exists(outside.Path() / "new.txt"));
  // A name with a forward slash is not a way into another folder.
  EXPECT_EQ(Open(u"\\SDMMC\\a/b.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
}

TEST(Files, ReadWriteSizeErrorCodesShareModesFoldersAndStreams) {
  TempDeviceRoot root;
  HANDLE file = Open(u"\\NAND\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  EXPECT_TRUE(WriteFile(file, "hello world", 11, &done, nullptr));
  EXPECT_EQ(done, 11u);
  EXPECT_EQ(GetFileSize(file, nullptr), 11u);
  EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
  char buffer[16] = {};
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "world");
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));  // at the end: nothing, no error
  EXPECT_EQ(done, 0u);
  CloseHandle(file);

  EXPECT_EQ(OpenError(u"\\NAND\\data.bin", GENERIC_WRITE, 0, CREATE_NEW), ERROR_FILE_EXISTS);
  EXPECT_EQ(OpenError(u"\\NAND\\none.bin", GENERIC_READ, 0, OPEN_EXISTING), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenError(u"\\NAND\\no folder\\x.bin", GENERIC_WRITE, 0, CREATE_ALWAYS), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(OpenError(u"\\NAND", GENERIC_READ, 0, OPEN_EXISTING), ERROR_ACCESS_DENIED);

  // Reading a handle opened for writing only is refused; a closed handle is invalid.
  file = Open(u"\\NAND\\data.bin", GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_FALSE(ReadFile(file, buffer, 1, &done, nullptr));
  CloseHandle(file);
  EXPECT_FALSE(ReadFile(file, buffer, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(file));

  // Share modes are enforced between handles.
  root.WriteFile("NAND/f.txt", "keep me");
  HANDLE exclusive = Open(u"\\NAND\\f.txt", GENERIC_READ, 0, OPEN_EXISTING);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenError(u"\\NAND\\F.TXT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), ERROR_SHARING_VIOLATION);
  // A refused open must not have truncated the file.
  EXPECT_EQ(Open(u"\\NAND\\f.txt", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
  EXPECT_EQ(root.ReadFile("NAND/f.txt"), "keep me");

  HANDLE shared = Open(u"\\NAND\\f.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_EQ(OpenError(u"\\NAND\\f.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), 0u);
  EXPECT_NE(shared, INVALID_HANDLE_VALUE);
  CloseHandle(shared);

  // Folders, and files through C streams.
  EXPECT_TRUE(CreateDirectoryW(u"\\NAND\\_Thumbnails", nullptr));
  EXPECT_FALSE(CreateDirectoryW(u"\\nand\\_thumbnails", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  FILE* out = _wfopen(u"nand\\_Thumbnails\\0", u"wb");
  ASSERT_NE(out, nullptr);
  std::fputs("BM", out);
  std::fclose(out);
  FILE* in = _wfopen(u"\\NAND\\_THUMBNAILS\\0", u"rb");
  ASSERT_NE(in, nullptr);
  char two[3] = {};
  EXPECT_EQ(std::fread(two, 1, 2, in), 2u);
  std::fclose(in);
  EXPECT_STREQ(two, "BM");
  EXPECT_TRUE(DeleteFileW(u"NAND\\_Thumbnails\\0"));
  EXPECT_FALSE(DeleteFileW(u"NAND\\_Thumbnails\\0"));

}

TEST(Files, HiddenAttributeAndTimes) {
  TempDeviceRoot root;
  root.WriteFile("NAND/a.par", "x");
  DWORD before = GetFileAttributesW(u"NAND\\A.PAR");
  ASSERT_NE(before, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(before & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_TRUE(SetFileAttributesW(u"NAND\\a.par", before | FILE_ATTRIBUTE_HIDDEN));
  if (!(GetFileAttributesW(u"NAND\\a.par") & FILE_ATTRIBUTE_HIDDEN))
    GTEST_SKIP() << "this host folder keeps no extended attributes";
  EXPECT_NE(GetFileAttributesW(u"nand\\A.par") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_NE(GetFileAttributesW(u"NAND") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetFileAttributesW(u"NAND\\none"), INVALID_FILE_ATTRIBUTES);

  // 2021-03-04 05:06:07 UTC as the file's last write.
  const timespec times[2] = {{1614834367, 0}, {1614834367, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (root.Path() / "NAND" / "a.par").c_str(), times, 0), 0);
  HANDLE file = Open(u"NAND\\a.par", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(GetFileInformationByHandle(file, &info));
  CloseHandle(file);
  EXPECT_NE(info.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(info.nFileSizeLow, 1u);
  SYSTEMTIME time;
  ASSERT_TRUE(FileTimeToSystemTime(&info.ftLastWriteTime, &time));
  EXPECT_EQ((std::vector<int>{time.wYear, time.wMonth, time.wDay, time.wDayOfWeek, time.wHour, time.wMinute, time.wSecond}),
            (std::vector<int>{2021, 3, 4, 4, 5, 6, 7}));  // a Thursday

  // Local time is the host's zone at that moment: two hours east of UTC here.
  std::string savedZone = getenv("TZ") ? getenv("TZ") : "";
  bool hadZone = getenv("TZ") != nullptr;
  setenv("TZ", "XYZ-2", 1);
  tzset();
  FILETIME local;
  ASSERT_TRUE(FileTimeToLocalFileTime(&info.ftLastWriteTime, &local));
  ASSERT_TRUE(FileTimeToSystemTime(&local, &time));
  EXPECT_EQ((std::vector<int>{time.wHour, time.wMinute}), (std::vector<int>{7, 6}));
  hadZone ? setenv("TZ", savedZone.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST(Files, ACreatedFileReplacesTheOldOneWholeOnlyWhenClosedAfterGoodWrites) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/bmkPho.rom", "old bookmark");
  // A leftover of a program stopped while writing: never listed, and cleared by the next write.
  root.WriteFile("SDMMC/.~bmkPho.rom.new", "half");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(u"\\SDMMC\\*.rom*", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ToUtf8(found.cFileName), "bmkPho.rom");
  EXPECT_FALSE(FindNextFileW(search, &found));
  FindClose(search);

  HANDLE file = Open(u"\\SDMMC\\BMKPHO.ROM", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  DWORD done = 0;
  EXPECT_TRUE(WriteFile(file, "new", 3, &done, nullptr));
  EXPECT_EQ(root.ReadFile("SDMMC/bmkPho.rom"), "old bookmark");  // until it is closed
  EXPECT_EQ(OpenError(u"\\SDMMC\\bmkPho.rom", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(WriteFile(file, " one", 4, &done, nullptr));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(root.ReadFile("SDMMC/bmkPho.rom"), "new one");
  EXPECT_EQ(HostNames(root.Path() / "SDMMC"), std::vector<std::string>{"bmkPho.rom"});

  // The card write-protected or taken out in the middle: the writes and the close fail, and
  // the old file stays as it was, alone.
  struct Fault {
    const char* what;
    void (*set)(bool);
    DWORD error;
  };
  for (const Fault& fault : {Fault{"write-protected", SetCardWriteProtected, ERROR_WRITE_PROTECT},
                             Fault{"taken out", SetCardTakenOut, ERROR_PATH_NOT_FOUND}}) {
    SCOPED_TRACE(fault.what);
    for (bool beforeClose : {false, true}) {
      file = Open(u"\\SDMMC\\bmkPho.rom", GENERIC_WRITE, 0, CREATE_ALWAYS);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      EXPECT_TRUE(WriteFile(file, "lost", 4, &done, nullptr));
      fault.set(true);
      if (!beforeClose) {
        EXPECT_FALSE(WriteFile(file, "lost", 4, &done, nullptr));
        EXPECT_EQ(GetLastError(), fault.error);
      }
      EXPECT_FALSE(CloseHandle(file));
      EXPECT_EQ(GetLastError(), fault.error);
      fault.set(false);
      EXPECT_EQ(root.ReadFile("SDMMC/bmkPho.rom"), "new one");
      EXPECT_EQ(HostNames(root.Path() / "SDMMC"), std::vector<std::string>{"bmkPho.rom"});
    }
  }
  // Names too long to carry the replacement's marks still get written.
  const WString longName = u"\\NAND\\" + WString(250, u'n');
  file = Open(longName.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(ReadAll(longName.c_str()), "");
}

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
  std::filesystem::remove_all(next.Path() / "SDMMC");  // no card folder: no card
  EXPECT_EQ(Stores(), StoreList{});
  EXPECT_FALSE(IsCardMounted());
}
