// A folder elsewhere on the host as the card, and the card slot following that folder's
// mounts: bind mounts made by the test stand for a stick put in, pulled out and locked.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/storage/card_watch.h"
#include "platform/storage/device_paths.h"
#include "platform/storage/stores.h"
#include "tests/support/line_reader.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> Names(LPCWSTR pattern) {
  std::set<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.insert(ToHostName(WString(found.cFileName))); while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
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
  EXPECT_EQ(Names(u"\\SDMMC\\*.*"), (std::set<std::string>{".", "..", "Trip"}));  // no way out
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
