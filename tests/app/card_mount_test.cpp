// The program with any folder as its card (--card) and its internal storage in a state folder
// (--state). A bind mount made by the test stands for a stick pulled out, put back and
// locked while the main page and a slideshow run: the screens show what the script's card
// commands show them, and nothing is written to a stick that is gone or locked.
#include <sys/mount.h>

#include <gtest/gtest.h>

#include <functional>

#include "tests/app/two_processes.h"
#include "tests/platform/imaging/pictures.h"

namespace {

namespace fs = std::filesystem;

class CardMountTest : public TwoProcessTest {
 protected:
  void SetUp() override {
    TwoProcessTest::SetUp();
    for (const char* name : {"Alps/a.jpg", "Alps/b.jpg", "Beach/c.jpg"})
      m_root.WriteFile(std::string("stick/") + name, MakeJpeg(Pattern(320, 200)));
    fs::create_directories(m_card);
    m_mounting = Mount() && Unmount();
  }
  void TearDown() override {
    while (Unmount()) continue;
  }
  // The stick's files mounted on the card folder; read-only: that mount locked.
  bool Mount(bool readOnly = false) {
    const unsigned long flags = readOnly ? MS_REMOUNT | MS_BIND | MS_RDONLY : MS_BIND;
    return mount(m_stick.c_str(), m_card.c_str(), nullptr, flags, nullptr) == 0;
  }
  bool Unmount() { return umount2(m_card.c_str(), MNT_DETACH) == 0; }

  // The program on a card folder with a state folder of its own, driven through its input;
  // it first says that the card is in.
  std::unique_ptr<ChildProcess> Start(const fs::path& card, const std::string& name) {
    m_log = Log() + "." + name;
    auto program = std::make_unique<ChildProcess>(std::vector<std::string>{
        kBin + "/vellumet", "--card", card.string(), "--state", (m_root.Path() / name).string(), "--headless", "--script",
        "-", "--shots", m_shots.string(), "--log", m_log});
    EXPECT_EQ(program->ReadErrorLine(), "vellumet: the card is in: " + card.string());
    return program;
  }
  // Waits until the main page has listed `count` pages and drawn the cells of the last.
  void Listed(ChildProcess& program, size_t count) {
    EXPECT_TRUE(Logged(program, "m_CurPage = ", count, m_log));
    Command(program, "wait 100\n");
  }

  const fs::path m_stick = m_root.Path() / "stick";
  const fs::path m_card = m_root.Path() / "media" / "card";
  bool m_mounting = false;
  std::string m_log;
};

TEST_F(CardMountTest, TheMainPageSeesAPulledStickAsTheScriptsCardCommandsShowIt) {
  if (!m_mounting) GTEST_SKIP() << "mounting is not permitted here: the mount tests need root";
  const std::string card = m_card.string();
  for (bool real : {false, true}) {
    ASSERT_TRUE(!real || Mount());
    std::unique_ptr<ChildProcess> program = Start(real ? m_card : m_stick, real ? "real" : "script");
    const std::string shot = std::string("shot ") + (real ? "real-" : "script-");
    // The card taken out, put back or locked: by the script, or on the real mount, which the
    // program tells in a line.
    auto change = [&](const std::string& command, const std::function<bool()>& act, const std::string& told) {
      if (!real) return Command(*program, "card " + command + "\n");
      ASSERT_TRUE(act());
      EXPECT_EQ(program->ReadErrorLine(), "vellumet: the card " + told);
    };
    Listed(*program, 1);
    Command(*program, shot + "in\n");
    change("out", [&] { return Unmount(); }, "is out: nothing is mounted on " + card);
    Command(*program, "tap 112 148\n");  // a double tap on <Beach>
    Command(*program, "tap 112 148\n");
    Listed(*program, 2);
    Command(*program, shot + "out\n");
    change("in", [&] { return Mount(); }, "is in: " + card);
    Command(*program, "tap 85 432\n");  // folder up
    Listed(*program, 3);
    Command(*program, shot + "back\n");
    change("readonly", [&] { return Mount(true); }, "is in, write-protected: " + card + " is mounted read-only");
    program->CloseInput();
    EXPECT_EQ(program->Wait(), kEndedByHost);
  }
  for (const char* name : {"in", "out", "back"}) EXPECT_TRUE(Shot(std::string("real-") + name) == Shot(std::string("script-") + name)) << name;
  EXPECT_FALSE(Shot("real-out") == Shot("real-back"));
}

TEST_F(CardMountTest, ASlideshowLeavesItsBookmarkOnlyOnAStickThatStaysInAndWritable) {
  if (!m_mounting) GTEST_SKIP() << "mounting is not permitted here: the mount tests need root";
  const std::string card = m_card.string();
  struct Case { std::function<bool()> act; std::string told; bool bookmark; };  // act: while the slideshow runs
  for (const Case& c : std::vector<Case>{{[] { return true; }, "", true},
                                         {[&] { return Mount(true); }, "is in, write-protected: " + card + " is mounted read-only", false},
                                         {[&] { return Unmount(); }, "is out: nothing is mounted on " + card, false}}) {
    SCOPED_TRACE(c.told);
    ASSERT_TRUE(Mount());
    std::unique_ptr<ChildProcess> program = Start(m_card, "show");
    Listed(*program, 1);
    Command(*program, "tap 302 148\n");  // a double tap on <Alps>
    Command(*program, "tap 302 148\n");
    Listed(*program, 2);
    Command(*program, "tap 210 432\n");  // the slideshow
    Command(*program, "wait 500\n");
    ASSERT_TRUE(c.act());
    if (!c.told.empty()) {
      EXPECT_EQ(program->ReadErrorLine(), "vellumet: the card " + c.told);
    }
    program->Write("launcher 34\n");  // the launcher closes the slideshow and the program
    EXPECT_EQ(program->Wait(), kEndedByItself);
    EXPECT_EQ(fs::exists(m_stick / "bmkPho.rom"), c.bookmark);
    EXPECT_FALSE(fs::exists(m_card / "bmkPho.rom") && !c.bookmark);  // nor on the bare mount point
    fs::remove(m_stick / "bmkPho.rom");
    while (Unmount()) continue;
  }
}

}  // namespace
