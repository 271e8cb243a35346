// The launcher's hide (code 10) and message 52999 interrupt the slideshow; each interruption
// stores the player's state anew, so that two in a row (the second while the show is already
// paused) leave the music paused when the show is shown again.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <thread>

#include "app/launcher.h"
#include "folders/folder_nav.h"
#include "platform/kernel/kernel.h"
#include "platform/storage/files.h"
#include "res/resources.h"
#include "slideshow/sshow_dlg.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/platform/media/media_files.h"
#include "tests/support/temp_root.h"

namespace {

constexpr int kPlaying = 2, kPaused = 3;

// Waits (bounded) until the condition holds, then for the window thread to settle.
template <typename Condition>
bool Await(Condition done) {
  for (int i = 0; i < 3000 && !done(); ++i) Sleep(10);
  WaitForWindowThreadIdle(30000);
  return done();
}

TEST(SlideshowInterruptions, TwoInARowResumeTheShowWithTheMusicPaused) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  InstallResources();
  TempDeviceRoot root;
  SetClockSpeed(4);
  const Bytes jpeg = MakeJpeg(Pattern(200, 100), 90);
  for (const char* name : {"a.jpg", "b.jpg"}) root.WriteFile(std::string("SDMMC/") + name, std::string(jpeg.begin(), jpeg.end()));
  ASSERT_EQ(EncodeAudioFile((root.Path() / "SDMMC" / "tune.wma").string(), "wmav2", "asf", 60, SteppedTone), "");
  CPhotoList list;
  list.Fill(u"\\SDMMC\\");
  int first = 0, last = 0;
  ASSERT_TRUE(FindPhotoRange(list, first, last));
  CImageDecoder decoder;
  CSshowDlg show(&list, first, first, last, &decoder);

  struct Interruption {
    UINT message;
    WPARAM code;
  };
  const Interruption hide{kLauncherMessage, kLauncherHide}, pause{kHideMessage, 0};
  const std::pair<Interruption, Interruption> orders[] = {{hide, pause}, {pause, hide}, {hide, hide}};
  const auto drive = [&] {
    ASSERT_TRUE(Await([&] { return show.ShownIndex() >= 0 && show.Player().Getsts() == kPlaying; }));
    for (const auto& [one, two] : orders) {
      SCOPED_TRACE(one.message + two.message + two.code);
      PostMessage(show.m_hWnd, one.message, one.code, 0);
      ASSERT_TRUE(Await([&] { return show.IsPaused() && show.Player().Getsts() == kPaused; }));
      PostMessage(show.m_hWnd, two.message, two.code, 0);
      WaitForWindowThreadIdle(30000);
      const int shown = show.ShownIndex();
      PostMessage(show.m_hWnd, kLauncherMessage, kLauncherShow, 0);
      // The pictures go on; the music stays paused.
      ASSERT_TRUE(Await([&] { return !show.IsPaused() && show.ShownIndex() != shown; }));
      EXPECT_EQ(show.Player().Getsts(), kPaused);
      show.Player().Play();
    }
    // One interruption alone still resumes the music.
    PostMessage(show.m_hWnd, kHideMessage, 0, 0);
    ASSERT_TRUE(Await([&] { return show.IsPaused(); }));
    PostMessage(show.m_hWnd, kLauncherMessage, kLauncherShow, 0);
    EXPECT_TRUE(Await([&] { return !show.IsPaused() && show.Player().Getsts() == kPlaying; }));
  };
  std::thread driver([&] {
    drive();
    while (!show.m_hWnd) Sleep(10);
    PostMessage(show.m_hWnd, kLauncherMessage, 34, 0);
  });
  EXPECT_EQ(show.DoModal(), kModalClosedByLauncher);
  driver.join();
  SetClockSpeed(1);
  CoUninitialize();
}

}  // namespace
