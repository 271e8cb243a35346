// The storage layer: files, folders and paths on the device root, folder listings, the card
// slot and its store, and a folder elsewhere on the host as the card with the card slot
// following that folder's mounts: bind mounts made by the test stand for a stick put in,
// pulled out and locked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/kernel/wide.h"
#include "platform/storage/card_watch.h"
#include "platform/storage/device_paths.h"
#include "platform/storage/files.h"
#include "platform/storage/stores.h"
#include "tests/support/line_reader.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

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
std::vector<std::string> HostNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
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

struct Found {
  WString name;
  bool folder;
  bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& f) { return out << ToUtf8(f.name) << (f.folder ? "/" : ""); }

std::vector<Found> Search(const WString& pattern) {
  std::vector<Found> found;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    found.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(search, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(search));
  return found;
}

// Descends into every folder a search reports, as a recursive scan of the card does;
// counts the folders and fails when it goes deeper than any honest tree here.
int Walk(const WString& folder, int depth = 0) {
  if (depth > 20) {
    ADD_FAILURE() << "walk did not end at " << ToUtf8(folder);
    return 0;
  }
  int folders = 1;
  for (const Found& f : Search(folder + u"\\*.*"))
    if (f.folder && f.name != u"." && f.name != u"..") folders += Walk(folder + u"\\" + f.name, depth + 1);
  return folders;
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
  EXPECT_TRUE(fs::exists(card + "/Trips/New Name.TXT"));
  EXPECT_EQ(GetFileAttributesW(u"\\SDMMC\\TRIPS\\new name.txt") & FILE_ATTRIBUTE_DIRECTORY, 0u);

  // Nothing outside the root can be reached.
  TempDeviceRoot outside;  // sets itself as the root: put ours back
  outside.WriteFile("secret.txt", "secret");
  SetDeviceRoot(root.Path().string());
  fs::create_directory_symlink(outside.Path(), root.Path() / "SDMMC" / "away");
  fs::create_symlink(outside.Path() / "secret.txt", root.Path() / "SDMMC" / "secret.jpg");

  for (LPCWSTR path : {u"\\SDMMC\\..\\..\\secret.txt", u"..\\secret.txt", u"\\SDMMC\\away\\secret.txt",
                       u"\\SDMMC\\secret.jpg"}) {
    const DWORD error = OpenError(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << ToUtf8(path) << ": " << error;
  }
  EXPECT_EQ(Open(u"\\SDMMC\\away\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(fs::exists(outside.Path() / "new.txt"));
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
  EXPECT_EQ(ReadAll(u"\\NAND\\_THUMBNAILS\\0"), "BM");
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
  EXPECT_EQ(Search(u"\\SDMMC\\*.rom*"), (std::vector<Found>{{u"bmkPho.rom", false}}));

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
  fs::create_directory_symlink(root.Path() / "SDMMC", root.Path() / "NAND" / "card");
  // Locked, or a folder that cannot be written: the card is listed read-only, and every way
  // onto it, also from elsewhere in the root, reads but never writes.
  for (bool locked : {true, false}) {
    SCOPED_TRACE(locked ? "write-protected" : "a read-only folder");
    if (locked) SetCardWriteProtected(true);
    else fs::permissions(root.Path() / "SDMMC", fs::perms::owner_read | fs::perms::owner_exec);
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
    fs::permissions(root.Path() / "SDMMC", fs::perms::owner_all);
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
  fs::remove_all(next.Path() / "SDMMC");  // no card folder: no card
  EXPECT_EQ(Stores(), StoreList{});
  EXPECT_FALSE(IsCardMounted());
}

TEST(FindFiles, DotsFirstThenTheFolderAsPatternsSelectInTheOrderTheHookGives) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/b.jpg", "12345");
  root.WriteFile("SDMMC/A/x", "");
  root.WriteFile("SDMMC/noext", "");
  root.ListInNameOrder();
  EXPECT_EQ(Search(u"\\SDMMC\\*.*"),
            (std::vector<Found>{{u".", true}, {u"..", true}, {u"A", true}, {u"b.jpg", false}, {u"noext", false}}));
  EXPECT_EQ(Search(u"sdmmc\\*"), Search(u"\\SDMMC\\*.*"));
  EXPECT_EQ(Search(u"\\*.*").size(), 4u);  // the root has dots too: ., .., NAND, SDMMC
  for (const char16_t* pattern : {u"\\sdmmc\\*.JPG", u"\\SDMMC\\B.JPG", u"\\SDMMC\\?.jpg"})
    EXPECT_EQ(Search(pattern), (std::vector<Found>{{u"b.jpg", false}})) << ToUtf8(pattern);
  EXPECT_EQ(Search(u"\\SDMMC\\a\\"), (std::vector<Found>{{u"A", true}}));  // the folder itself

  WIN32_FIND_DATAW data{};
  FindClose(FindFirstFileW(u"\\SDMMC\\b*", &data));
  EXPECT_EQ(data.nFileSizeLow, 5u);  // the size a search reports

  EXPECT_EQ(FindFirstFileW(u"\\SDMMC\\missing\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(FindFirstFileW(u"\\SDMMC\\none.jpg", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // The order hook arranges the host names after the dots.
  SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.begin(), names.end(), std::greater<>()); });
  EXPECT_EQ(Search(u"\\SDMMC\\*.*"),
            (std::vector<Found>{{u".", true}, {u"..", true}, {u"noext", false}, {u"b.jpg", false}, {u"A", true}}));
}

TEST(FindFiles, LinksAreFollowedInsideTheRootAndNeverIntoALoop) {
  TempDeviceRoot root;
  TempDeviceRoot outside;
  SetDeviceRoot(root.Path().string());
  const auto card = root.Path() / "SDMMC";
  root.WriteFile("SDMMC/real/p.jpg", "");
  root.WriteFile("SDMMC/q/r/deep.jpg", "");
  fs::create_directory_symlink(card / "real", card / "alias");    // inside: a folder
  fs::create_directory_symlink(card, card / "real" / "up");       // back to an ancestor
  fs::create_directory_symlink(root.Path(), card / "q" / "top");  // back to the root
  fs::create_symlink("self", card / "self");                      // a link to itself
  fs::create_directory_symlink(outside.Path(), card / "away");    // outside: not listed
  fs::create_symlink(card / "gone.jpg", card / "dangling.jpg");   // broken: not listed
  // Two links that only together make a cycle: p leads to q/r, and q/r/l to q, whose r is
  // then the folder p again.
  fs::create_directory_symlink(card / "q" / "r", card / "p");
  fs::create_directory_symlink(card / "q", card / "q" / "r" / "l");

  root.ListInNameOrder();
  EXPECT_EQ(Search(u"\\SDMMC\\*.*"), (std::vector<Found>{{u".", true}, {u"..", true}, {u"alias", true},
                                                          {u"p", true}, {u"q", true}, {u"real", true}}));
  EXPECT_EQ(Search(u"\\SDMMC\\alias\\*.*"), (std::vector<Found>{{u".", true}, {u"..", true}, {u"p.jpg", false}}));
  EXPECT_EQ(Search(u"\\SDMMC\\p\\l\\*.*"), (std::vector<Found>{{u".", true}, {u"..", true}}));
  // SDMMC, alias, p, p\l, q, q\r and real: every way back is left out.
  EXPECT_EQ(Walk(u"\\SDMMC"), 7);
  EXPECT_EQ(Walk(u""), 9);  // the root, NAND and the card
}

TEST(FindFiles, AnyHostNameCanBeFoundAndOpenedAgain) {
  TempDeviceRoot root;
  const std::string notUtf8 = "bad\xff\xfe name.jpg";
  root.WriteFile("SDMMC/" + notUtf8, "raw");
  root.WriteFile("SDMMC/ΦΩΤΟ Łódź.JPG", "greek");
  root.WriteFile("SDMMC/with;semi,colon [1].jpg", "");
  root.WriteFile("SDMMC/" + std::string(250, 'n') + ".jpg", "");
  ASSERT_EQ(mkfifo((root.Path() / "SDMMC" / "pipe.jpg").c_str(), 0600), 0);
  root.ListInNameOrder();
  std::vector<Found> found = Search(u"\\SDMMC\\*.jpg");
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(found[0].name, FromUtf8("bad") + WString(u"\xDCFF\xDCFE") + FromUtf8(" name.jpg"));
  EXPECT_EQ(found[1].name, FromUtf8(std::string(250, 'n') + ".jpg"));
  EXPECT_EQ(found[2].name, u"pipe.jpg");  // listed; opening it must not block
  EXPECT_EQ(found[4].name, u"ΦΩΤΟ Łódź.JPG");

  EXPECT_EQ(ReadAll((u"\\SDMMC\\" + found[0].name).c_str()), "raw");
  EXPECT_EQ(ReadAll(u"\\SDMMC\\φωτο łÓDŹ.jpg"), "greek");
  EXPECT_EQ(Search(u"\\SDMMC\\φωτο*").size(), 1u);
  EXPECT_EQ(ReadAll(u"\\SDMMC\\pipe.jpg"), "<no file>");
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(_wfopen(u"\\SDMMC\\pipe.jpg", u"rb"), nullptr);
}

namespace {

// The lines written to standard error while it lives, read one by one as they come.
class ErrorLines {
 public:
  ~ErrorLines() {
    dup2(m_saved, STDERR_FILENO);
    for (int fd : {m_saved, m_pipe[0], m_pipe[1]}) close(fd);
  }
  // The next line, or "" when none came within 10 s.
  std::string Next() { return m_led ? m_reader.Read(10000) : ""; }

 private:
  int m_saved = dup(STDERR_FILENO);
  int m_pipe[2] = {-1, -1};
  bool m_led = pipe2(m_pipe, O_CLOEXEC) == 0 && dup2(m_pipe[1], STDERR_FILENO) >= 0;
  LineReader m_reader{m_pipe[0]};
};

class CardFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_card);
    SetDeviceRoot(m_state.Path().string(), m_card.string());
  }
  void TearDown() override {
    StopCardWatch();
    while (umount2(m_card.c_str(), MNT_DETACH) == 0) {
    }
    SetDeviceRoot(m_state.Path().string());
  }
  // Mounts the stick's folder on the card folder (read-only: remounts the mount there);
  // false when mounting is not permitted here.
  bool Mount(bool readOnly = false) {
    const unsigned long flags = readOnly ? MS_REMOUNT | MS_BIND | MS_RDONLY : MS_BIND;
    return mount(m_stick.c_str(), m_card.c_str(), nullptr, flags, nullptr) == 0;
  }
  bool MountingPermitted() {
    fs::create_directories(m_stick);
    if (!Mount()) return false;
    umount2(m_card.c_str(), MNT_DETACH);
    return true;
  }

  TempDeviceRoot m_state;  // the state folder; its own SDMMC folder is not the card
  const fs::path m_card = m_state.Path() / "media" / "stick";
  const fs::path m_stick = m_state.Path() / "stick-files";
};

TEST_F(CardFolderTest, TheCardsPathsLeadIntoTheFolderAndTheRestStaysInTheState) {
  m_state.WriteFile("media/stick/Trip/a.jpg", "a");
  m_state.WriteFile("SDMMC/old.jpg", "old");
  fs::create_directory_symlink("/etc", m_card / "out");
  EXPECT_EQ(Search(u"\\SDMMC\\*.*"), (std::vector<Found>{{u".", true}, {u"..", true}, {u"Trip", true}}));  // no way out
  EXPECT_EQ(ResolveDevicePath(u"\\sdmmc\\trip\\A.JPG"), (m_card / "Trip" / "a.jpg").string());
  EXPECT_EQ(ResolveDevicePath(u"\\SDMMC\\old.jpg"), (m_card / "old.jpg").string());
  EXPECT_EQ(ResolveDevicePath(u"\\SDMMC\\out\\passwd"), "");
  EXPECT_EQ(ResolveDevicePath(u"\\NAND\\SETTING.PAR"), (m_state.Path() / "NAND" / "SETTING.PAR").string());
  EXPECT_TRUE(IsOnCard((m_card / "new.txt").string()));
  EXPECT_FALSE(IsOnCard((m_state.Path() / "SDMMC" / "old.jpg").string()));

  FILE* file = _wfopen(u"\\SDMMC\\Trip\\a.jpg", u"wb");  // emptied on the card
  ASSERT_NE(file, nullptr);
  fclose(file);
  EXPECT_EQ(m_state.ReadFile("media/stick/Trip/a.jpg"), "");
  SetCardTakenOut(true);
  EXPECT_FALSE(IsCardMounted());
  EXPECT_EQ(_wfopen(u"\\SDMMC\\Trip\\a.jpg", u"rb"), nullptr);
}

TEST_F(CardFolderTest, TheSlotFollowsTheFolderAndItsMounts) {
  if (!MountingPermitted()) GTEST_SKIP() << "mounting is not permitted here: the card watch needs root to mount";
  const std::string card = m_card.string();
  fs::remove(m_card);
  ErrorLines lines;
  ASSERT_TRUE(StartCardWatch());
  EXPECT_EQ(lines.Next(), "vellumet: the card is out: " + card + " is not there");
  EXPECT_FALSE(IsCardMounted());
  fs::create_directory(m_card);  // a folder that appears is a card put in
  EXPECT_EQ(lines.Next(), "vellumet: the card is in: " + card);
  EXPECT_TRUE(IsCardMounted());

  // Once it has been a mount point, an empty mount point is no card.
  ASSERT_TRUE(Mount());
  ASSERT_TRUE(StartCardWatch());
  EXPECT_EQ(lines.Next(), "vellumet: the card is in: " + card);
  ASSERT_EQ(umount2(m_card.c_str(), MNT_DETACH), 0);
  EXPECT_EQ(lines.Next(), "vellumet: the card is out: nothing is mounted on " + card);
  EXPECT_FALSE(IsCardMounted());
  EXPECT_EQ(ResolvePath(u"\\SDMMC\\bmkPho.rom").host, "");  // nothing is written to the bare folder
  ASSERT_TRUE(Mount());
  EXPECT_EQ(lines.Next(), "vellumet: the card is in: " + card);
  ASSERT_TRUE(Mount(true));
  EXPECT_EQ(lines.Next(), "vellumet: the card is in, write-protected: " + card + " is mounted read-only");
  EXPECT_TRUE(IsCardMounted() && IsCardReadOnly());
  EXPECT_EQ(_wfopen(u"\\SDMMC\\new.txt", u"wb"), nullptr);

  // The folder gone, or no folder: the card stays out, and each reason is said once.
  ASSERT_EQ(umount2(m_card.c_str(), MNT_DETACH), 0);
  EXPECT_EQ(lines.Next(), "vellumet: the card is out: nothing is mounted on " + card);
  fs::remove(m_card);
  EXPECT_EQ(lines.Next(), "vellumet: the card is out: " + card + " is not there");
  m_state.WriteFile("media/stick", "");
  EXPECT_EQ(lines.Next(), "vellumet: the card is out: " + card + " is not a folder");
  StopCardWatch();
}

}  // namespace
