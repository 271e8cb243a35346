#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/windows/afx.h"
#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "platform/host/screen_host.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

namespace {

TEST(ScreenScript, ParsesCommandsRefusesOthersAndSetsTheSlotAndTheClock) {
  std::string error;
  auto commands = ParseScreenScript("# a tour\nwait 100\n\ntap 10 20\nshot first\nlauncher 8\nlauncher 7 3\nbattery 2\n", &error);
  ASSERT_TRUE(commands) << error;
  ASSERT_EQ(commands->size(), 6u);
  EXPECT_EQ((std::tuple{(*commands)[1].kind, (*commands)[1].b, (*commands)[2].name, (*commands)[4].a, (*commands)[4].b}),
            (std::tuple{ScreenCommand::Tap, 20, std::string("first"), 7, 3}));
  EXPECT_FALSE(ParseScreenScript("wait 1\ntap 10\n", &error));
  EXPECT_EQ(error.rfind("line 2", 0), 0u);
  for (const char* bad : {"wait -5\n", "shot ../elsewhere\n", "jump 1 2\n", "launcher 0x\n", "launcher 0x-5\n", "card sideways\n",
                          "speed 0\n", "speed -2\n", "speed fast\n", "speed inf\n", "speed\n"})
    EXPECT_FALSE(ParseScreenScript(bad, nullptr)) << bad;

  // Launcher codes may be written in hexadecimal; standard input numbers its lines itself.
  commands = ParseScreenScript("launcher 0x22 0X10\n", &error);
  ASSERT_TRUE(commands) << error;
  EXPECT_EQ((std::pair{(*commands)[0].a, (*commands)[0].b}), (std::pair{34L, 16L}));
  EXPECT_TRUE(ParseScreenScript("\xEF\xBB\xBFwait 5\r\ntap 1 2\r\n", &error)) << error;  // saved on another system
  EXPECT_FALSE(ParseScreenScript("tap 0x 1\n", &error, 7));
  EXPECT_EQ(error.rfind("line 7:", 0), 0u) << error;

  ASSERT_TRUE(ParseScreenScript("speed 2.5\n", nullptr));
  TempDeviceRoot root;
  SetClockSpeed(1000.0);  // no window thread to settle here: each command's wait runs out at once
  RunScreenScript(*ParseScreenScript("card out\n", nullptr), "");
  EXPECT_FALSE(IsCardMounted());
  RunScreenScript(*ParseScreenScript("card readonly\n", nullptr), "");
  EXPECT_TRUE(IsCardMounted() && IsCardReadOnly());
  RunScreenScript(*ParseScreenScript("card in\nspeed 2000\n", nullptr), "");
  EXPECT_FALSE(IsCardReadOnly());
  EXPECT_EQ(GetClockSpeed(), 2000.0);
  SetClockSpeed(1.0);
}

// A dialog that paints itself one colour and records what reaches it.
class Target : public CDialog {
 public:
  Target() : CDialog(0) {}
  BOOL OnEraseBkgnd(CDC* dc) override {
    RECT r{0, 0, 800, 480};
    dc->FillSolidRect(&r, m_colour);
    return TRUE;
  }
  void OnLButtonDown(UINT, CPoint p) override {
    m_colour = RGB(0, 255, 0);
    m_tap = p;
    Invalidate(TRUE);
  }
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
    if (message == kLauncherMessage) {
      m_launcher.push_back({static_cast<int>(w), static_cast<int>(l)});
      if (w == 34) EndDialog(34);
    }
    return CDialog::WindowProc(message, w, l);
  }
  COLORREF m_colour = RGB(255, 0, 0);
  CPoint m_tap{-1, -1};
  std::vector<std::pair<int, int>> m_launcher;
};

TEST(ScreenScript, DrivesTheScreenAndTakesShotsAlsoWhileAnotherThreadDraws) {
  TempDeviceRoot folder;  // where the shots go
  auto commands = ParseScreenScript("shot before\ntap 30 40\nshot after\nbattery 5\nlauncher 34\n", nullptr);
  ASSERT_TRUE(commands);
  ScriptResult result = ScriptResult::Failed;
  std::thread host([&] { result = RunScreenScript(*commands, folder.Path().string()); });
  Target target;
  EXPECT_EQ(target.DoModal(), 34);
  host.join();
  EXPECT_EQ(result, ScriptResult::Done);
  EXPECT_EQ((std::pair{target.m_tap.x, target.m_tap.y}), (std::pair<LONG, LONG>{30, 40}));
  EXPECT_EQ(target.m_launcher, (std::vector<std::pair<int, int>>{{6, 0}, {34, 0}}));
  EXPECT_EQ(GetSimulatedBatteryState(), 5);
  // The screen was green when the second shot was taken; the files are 800 x 480 PNGs.
  EXPECT_EQ(GetVisibleFrame()[0], 0x07E0);
  for (const char* name : {"before.png", "after.png"}) {
    const std::string png = folder.ReadFile(name);
    EXPECT_EQ(png.substr(1, 3), "PNG") << name;
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x03\x20\0\0\x01\xE0", 8)) << name;
  }

  // A shot is taken while another thread draws, as the panel scans out: the picture is the
  // frame as it is, and reading it races with nothing the thread checker would report.
  std::atomic<bool> stop = false;
  std::thread painter([&] {
    HDC screen = CreateScreenDC();
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    const RECT whole{0, 0, 800, 480};
    while (!stop) FillRect(screen, &whole, brush);
    DeleteObject(brush);
    DeleteDC(screen);
  });
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(WriteScreenShot((folder.Path() / "racing.png").string()));
  stop = true;
  painter.join();
}

}  // namespace
