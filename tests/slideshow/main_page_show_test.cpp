// The slideshow run from the main page's button: the backlight around it, and the page of the
// picture that would have come next, with that picture selected, afterwards.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <thread>

#include "app/device_requests.h"
#include "app/launcher.h"
#include "browser/main_page_dlg.h"
#include "platform/device/drivers.h"
#include "platform/kernel/kernel.h"
#include "res/resources.h"
#include "slideshow/sshow_dlg.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/screen.h"
#include "tests/support/temp_root.h"
#include "thumbs/thumb_index.h"

namespace {

void TapAndSettle(int x, int y) {
  Tap(x, y);
  WaitForWindowThreadIdle(60000);
}

TEST(SlideshowFromTheMainPage, EndsOnThePageOfThePictureAfterTheLastShownWithItSelected) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  TempDeviceRoot root;
  InstallResources();
  TheThumbIndex() = CThumbIndex();
  root.ListInNameOrder();
  SetClockSpeed(10);
  const Bytes jpeg = MakeJpeg(Pattern(200, 100), 90);
  for (int i = 0; i < 10; ++i) root.WriteFile("SDMMC/p" + std::to_string(i) + ".jpg", std::string(jpeg.begin(), jpeg.end()));
  ClearBacklightCalls();

  CMainPageDlg page;
  std::thread driver([&] {
    EXPECT_TRUE(Await([&] { return FindWindowW(nullptr, u"photo") && page.IsThumbThreadIdle(); }));
    WaitForWindowThreadIdle(60000);
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);
    const RECT cell6 = CMainPageDlg::OuterCell(6);
    TapAndSettle((cell6.left + cell6.right) / 2, (cell6.top + cell6.bottom) / 2);
    EXPECT_EQ(page.SelectedIndex(), 6);
    TapAndSettle(210, 432);  // the slideshow button
    auto* show = dynamic_cast<CSshowDlg*>(CWnd::FromHandle(GetForegroundWindow()));
    if (show && Await([&] { return show->ShownIndex() == 7; })) {
      TapAndSettle(400, 200);  // a double tap: the volume dialog
      TapAndSettle(400, 200);
      TapAndSettle(64, 428);  // its back button
    }
    EXPECT_TRUE(Await([&] { return page.IsThumbThreadIdle(); }));
    EXPECT_EQ(page.SelectedIndex(), 8);
    EXPECT_EQ(page.CurPage(), 1);
    PostMessage(page.m_hWnd, kLauncherMessage, 2, 0);
  });
  page.DoModal();
  driver.join();

  // Backlight request B: 0 once, as the slideshow starts, then 1 when it has ended (clicks
  // send 1 as well).
  std::vector<DWORD> valuesOfB;
  for (const BacklightCall& call : GetBacklightCalls())
    if (call.code == kBacklightRequestB) valuesOfB.push_back(call.value);
  EXPECT_EQ(std::count(valuesOfB.begin(), valuesOfB.end(), 0u), 1);
  EXPECT_EQ(valuesOfB.back(), 1u);
  SetClockSpeed(1);
  TheThumbIndex() = CThumbIndex();
}

}  // namespace
