// The photo view run from the main page: a double tap on a photo opens it, and the page
// comes back on the page of the photo shown last, with that photo selected.
#include <gtest/gtest.h>

#include "tests/support/main_page_run.h"
#include "tests/support/screen.h"
#include "viewer/photo_view_dlg.h"

namespace {

POINT ViewButton(int place) { return POINT{25 + 108 * place + 50, 432}; }

// Waits until the screen in front has nothing left to do; the view in front, if it is.
CPhotoViewDlg* SettleFront(const CMainPageDlg& page) {
  for (;;) {
    EXPECT_TRUE(WaitForWindowThreadIdle(60000));
    auto* view = dynamic_cast<CPhotoViewDlg*>(CWnd::FromHandle(GetForegroundWindow()));
    if (!(view ? view->IsWorkPending() : !page.IsThumbThreadIdle()) && WaitForWindowThreadIdle(60000)) return view;
    Sleep(1);
  }
}

TEST(MainPageRunsTheView, ADoubleTapOpensThePhotoAndThePageFollowsWhereTheViewEnded) {
  MainPageCard card(10, 64, 48);
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

    // The launcher's close ends the view and then the page.
    Sleep(400);
    Tap(CellCentre(0)), Tap(CellCentre(0));
    ASSERT_NE(SettleFront(page), nullptr);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 34, 0);
  });
  EXPECT_EQ(FindWindowW(nullptr, u"photo"), nullptr);
}

}  // namespace
