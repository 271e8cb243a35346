// Listing folders of the device root, and a folder elsewhere on the host as the card with
// the card slot following that folder's mounts: bind mounts made by the test stand for a
// stick put in, pulled out and locked.
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
  EXPECT_EQ(Search(u"\\sdmmc\\*.JPG"), (std::vector<Found>{{u"b.jpg", false}}));
  EXPECT_EQ(Search(u"\\SDMMC\\B.JPG"), (std::vector<Found>{{u"b.jpg", false}}));
  EXPECT_EQ(Search(u"\\SDMMC\\?.jpg"), (std::vector<Found>{{u"b.jpg", false}}));
  EXPECT_EQ(Search(u"\\SDMMC\\a\\"), (std::vector<Found>{{u"A", true}}));  // the folder itself

  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(u"\\SDMMC\\b*", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  FindClose(search);

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

  auto read = [](const WString& name) {
    HANDLE file = CreateFileW((u"\\SDMMC\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string("<refused>");
    char buffer[16];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
  };
  EXPECT_EQ(read(found[0].name), "raw");
  EXPECT_EQ(read(u"φωτο łÓDŹ.jpg"), "greek");
  EXPECT_EQ(Search(u"\\SDMMC\\φωτο*").size(), 1u);
  EXPECT_EQ(read(u"pipe.jpg"), "<refused>");
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(_wfopen(u"\\SDMMC\\pipe.jpg", u"rb"), nullptr);
}

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

  FILE* file = _wfopen(u"\\SDMMC\\Trip\\b.jpg", u"wb");
  ASSERT_NE(file, nullptr);
  fclose(file);
  EXPECT_TRUE(fs::exists(m_card / "Trip" / "b.jpg"));
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
