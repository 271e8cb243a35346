// The photo view and the slideshow run from the main page: each comes back on the page of the
// photo it leaves selected (the one shown last by the view, the one that would have come next
// by the slideshow), the slideshow with the backlight request B off around it.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/device_requests.h"
#include "platform/device/drivers.h"
#include "slideshow/sshow_dlg.h"
#include "tests/support/main_page_run.h"
#include "tests/support/screen.h"
#include "viewer/photo_view_dlg.h"

namespace {

POINT ViewButton(int place) { return POINT{25 + 108 * place + 50, 432}; }
constexpr POINT kSlideshowButton{210, 432}, kOverPicture{400, 200}, kVolumeBack{64, 428};

// Waits until the screen in front has nothing left to do; the view in front, if it is.
CPhotoViewDlg* SettleFront(const CMainPageDlg& page) {
  for (;;) {
    EXPECT_TRUE(WaitForWindowThreadIdle(60000));
    auto* view = dynamic_cast<CPhotoViewDlg*>(CWnd::FromHandle(GetForegroundWindow()));
    if (!(view ? view->IsWorkPending() : !page.IsThumbThreadIdle()) && WaitForWindowThreadIdle(60000)) return view;
    Sleep(1);
  }
}

void TapAndSettle(POINT p) {
  Tap(p);
  WaitForWindowThreadIdle(60000);
}

TEST(MainPageRunsTheScreens, TheViewAndTheSlideshowEachLeaveThePageWhereTheyEnded) {
  MainPageCard card(10, 64, 48);
  ClearBacklightCalls();
  CMainPageDlg page;
  RunMainPage(page, [&] {
    SettleFront(page);
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);
    Tap(CellCentre(7)), Tap(CellCentre(7));
    CPhotoViewDlg* view = SettleFront(page);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->CurrentIndex(), 7);
    for (int i = 0; i < 2; ++i, SettleFront(page)) Tap(ViewButton(1));  // next, next
    EXPECT_EQ(view->CurrentIndex(), 9);
    Tap(ViewButton(6));  // exit
    EXPECT_EQ(SettleFront(page), nullptr);
    EXPECT_EQ(page.CurPage(), 1);
    EXPECT_EQ(page.SelectedIndex(), 9);

    // The slideshow from photo 8, selected by a tap: after 9, the last shown, the first comes.
    SetClockSpeed(10);
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);
    TapAndSettle(CellCentre(0));
    EXPECT_EQ(page.SelectedIndex(), 8);
    TapAndSettle(kSlideshowButton);
    auto* show = dynamic_cast<CSshowDlg*>(CWnd::FromHandle(GetForegroundWindow()));
    if (show && Await([&] { return show->ShownIndex() == 9; })) {
      TapAndSettle(kOverPicture);  // a double tap: the volume dialog
      TapAndSettle(kOverPicture);
      TapAndSettle(kVolumeBack);
    }
    EXPECT_TRUE(Await([&] { return page.IsThumbThreadIdle(); }));
    EXPECT_EQ(page.SelectedIndex(), 0);
    EXPECT_EQ(page.CurPage(), 0);
    SetClockSpeed(1);

    // The launcher's close ends the view and then the page.
    Sleep(400);
    Tap(CellCentre(0)), Tap(CellCentre(0));
    ASSERT_NE(SettleFront(page), nullptr);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 34, 0);
  });
  EXPECT_EQ(FindWindowW(nullptr, u"photo"), nullptr);

  // Backlight request B: 0 once, as the slideshow starts, then 1 when it has ended (clicks
  // send 1 as well).
  std::vector<DWORD> valuesOfB;
  for (const BacklightCall& call : GetBacklightCalls())
    if (call.code == kBacklightRequestB) valuesOfB.push_back(call.value);
  EXPECT_EQ(std::count(valuesOfB.begin(), valuesOfB.end(), 0u), 1);
  EXPECT_EQ(valuesOfB.back(), 1u);
}

}  // namespace
