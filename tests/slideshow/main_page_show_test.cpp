// The slideshow run from the main page's button: the backlight around it, and the page of
// the picture that would have come next, with that picture selected, afterwards.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/device_requests.h"
#include "app/launcher.h"
#include "browser/main_page_dlg.h"
#include "platform/device/drivers.h"
#include "platform/kernel/kernel.h"
#include "platform/storage/files.h"
#include "res/resources.h"
#include "slideshow/sshow_dlg.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/temp_root.h"
#include "thumbs/thumb_index.h"

namespace {

using namespace std::chrono_literals;

void Tap(int x, int y) {
  PostTouch(TouchKind::Down, x, y);
  PostTouch(TouchKind::Up, x, y);
}

// Waits until the thumbnail thread has nothing to do and the window has painted it all.
void Settle(const CMainPageDlg& page) {
  for (int i = 0; i < 10000; ++i) {
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    if (page.IsThumbThreadIdle() && WaitForWindowThreadIdle(60000) && page.IsThumbThreadIdle()) return;
    std::this_thread::sleep_for(1ms);
  }
  FAIL() << "the main page never settled";
}

// The slideshow in front, once it has shown the picture at `index`.
CSshowDlg* WaitForShow(int index) {
  for (int i = 0; i < 60000; ++i) {
    auto* show = dynamic_cast<CSshowDlg*>(CWnd::FromHandle(GetForegroundWindow()));
    if (show && show->ShownIndex() == index) return show;
    std::this_thread::sleep_for(1ms);
  }
  ADD_FAILURE() << "picture " << index << " was never shown";
  return nullptr;
}

TEST(SlideshowFromTheMainPage, EndsOnThePageOfThePictureAfterTheLastShownWithItSelected) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  TempDeviceRoot root;
  InstallResources();
  TheThumbIndex() = CThumbIndex();
  SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.begin(), names.end()); });
  SetClockSpeed(10);
  for (int i = 0; i < 10; ++i) {
    const Bytes jpeg = MakeJpeg(Pattern(200, 100), 90);
    root.WriteFile("SDMMC/p" + std::to_string(i) + ".jpg", std::string(jpeg.begin(), jpeg.end()));
  }
  ClearBacklightCalls();

  CMainPageDlg page;
  std::thread driver([&] {
    while (!FindWindowW(nullptr, u"photo")) std::this_thread::sleep_for(1ms);
    Settle(page);
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);
    const RECT cell6 = CMainPageDlg::OuterCell(6);
    Tap((cell6.left + cell6.right) / 2, (cell6.top + cell6.bottom) / 2);
    Settle(page);
    EXPECT_EQ(page.SelectedIndex(), 6);
    Tap(210, 432);  // the slideshow button
    if (WaitForShow(7)) {
      Tap(400, 200);  // a double tap: the volume dialog
      Tap(400, 200);
      EXPECT_TRUE(WaitForWindowThreadIdle(60000));
      Tap(64, 428);  // its back button
    }
    Settle(page);
    EXPECT_EQ(page.SelectedIndex(), 8);
    EXPECT_EQ(page.CurPage(), 1);
    PostMessage(page.m_hWnd, kLauncherMessage, 2, 0);
  });
  page.DoModal();
  driver.join();

  // The backlight request B: 0 as the slideshow starts, 1 once it has ended (clicks send 1 too).
  std::vector<DWORD> valuesOfB;
  for (const BacklightCall& call : GetBacklightCalls())
    if (call.code == kBacklightRequestB) valuesOfB.push_back(call.value);
  ASSERT_EQ(std::count(valuesOfB.begin(), valuesOfB.end(), 0u), 1);
  const auto started = std::find(valuesOfB.begin(), valuesOfB.end(), 0u);
  EXPECT_NE(std::find(started, valuesOfB.end(), 1u), valuesOfB.end());

  SetFindOrderForTests(nullptr);
  SetClockSpeed(1);
  TheThumbIndex() = CThumbIndex();
}

}  // namespace
