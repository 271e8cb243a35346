// The slideshow run from the main page's button: the backlight around it, and the page of the
// picture that would have come next, with that picture selected, afterwards.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/device_requests.h"
#include "platform/device/drivers.h"
#include "slideshow/sshow_dlg.h"
#include "tests/support/main_page_run.h"
#include "tests/support/screen.h"

namespace {

void TapAndSettle(int x, int y) {
  Tap(x, y);
  WaitForWindowThreadIdle(60000);
}

TEST(SlideshowFromTheMainPage, EndsOnThePageOfThePictureAfterTheLastShownWithItSelected) {
  MainPageCard card(10);
  SetClockSpeed(10);
  ClearBacklightCalls();
  CMainPageDlg page;
  RunMainPage(page, [&] {
    EXPECT_TRUE(Await([&] { return page.IsThumbThreadIdle(); }));
    WaitForWindowThreadIdle(60000);
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);
    TapAndSettle(CellCentre(6).x, CellCentre(6).y);
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
  });

  // Backlight request B: 0 once, as the slideshow starts, then 1 when it has ended (clicks
  // send 1 as well).
  std::vector<DWORD> valuesOfB;
  for (const BacklightCall& call : GetBacklightCalls())
    if (call.code == kBacklightRequestB) valuesOfB.push_back(call.value);
  EXPECT_EQ(std::count(valuesOfB.begin(), valuesOfB.end(), 0u), 1);
  EXPECT_EQ(valuesOfB.back(), 1u);
}

}  // namespace
