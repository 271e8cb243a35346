#include <gtest/gtest.h>

#include <thread>

#include "platform/host/screen_host.h"
#include "platform/windows/afx.h"

namespace {

// The front screen: it records the pause messages and ends on the launcher's close.
class FrontScreen : public CDialog {
 public:
  FrontScreen() : CDialog(0) {}
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
    if (message == kPauseMessage) ++pauses;
    if (message == kLauncherMessage && w == 34) EndDialog(34);
    return CDialog::WindowProc(message, w, l);
  }
  int pauses = 0;
};

TEST(PauseScript, PostsMessage52999ToTheFrontScreen) {
  std::string error;
  EXPECT_FALSE(ParseScreenScript("pause now\n", &error));
  auto commands = ParseScreenScript("pause\npause\nlauncher 34\n", &error);
  ASSERT_TRUE(commands) << error;
  EXPECT_EQ((*commands)[0].kind, ScreenCommand::Pause);
  EXPECT_EQ(kPauseMessage, 52999u);
  // A window alive from the start, so that the script's settling waits for the screen.
  HWND behind = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 800, 480}, u"", 0, nullptr);
  std::thread host([&] { RunScreenScript(*commands, ""); });
  FrontScreen front;
  EXPECT_EQ(front.DoModal(), 34);
  ::DestroyWindow(behind);  // the script's last settling ends with the last window
  host.join();
  EXPECT_EQ(front.pauses, 2);
}

}  // namespace
