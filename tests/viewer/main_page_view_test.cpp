// The photo view run from the main page: a double tap on a photo opens it, and the page
// comes back on the page of the photo shown last, with that photo selected.
#include <gtest/gtest.h>

#include <thread>

#include "app/launcher.h"
#include "browser/main_page_dlg.h"
#include "res/resources.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/screen.h"
#include "tests/support/temp_root.h"
#include "thumbs/thumb_index.h"
#include "viewer/photo_view_dlg.h"

namespace {

POINT CellCentre(int cell) {
  const RECT r = CMainPageDlg::OuterCell(cell);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}
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
  InstallResources();
  TempDeviceRoot root;
  TheThumbIndex() = CThumbIndex();
  root.ListInNameOrder();
  const Bytes jpeg = MakeJpeg(Pattern(64, 48));
  for (int i = 0; i < 10; ++i) root.WriteFile("SDMMC/p" + std::to_string(i) + ".jpg", std::string(jpeg.begin(), jpeg.end()));

  CMainPageDlg page;
  auto drive = [&] {
    SettleFront(page);
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);
    Tap(CellCentre(7));
    Tap(CellCentre(7));
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
    Tap(CellCentre(0));
    Tap(CellCentre(0));
    ASSERT_NE(SettleFront(page), nullptr);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 34, 0);
  };
  std::thread driver([&] {
    while (!FindWindowW(nullptr, u"photo")) Sleep(1);
    HWND pageWindow = FindWindowW(nullptr, u"photo");
    drive();
    if (HWND front = GetForegroundWindow(); front && front != pageWindow) PostMessage(front, kLauncherMessage, 34, 0);
    PostMessage(pageWindow, kLauncherMessage, 2, 0);  // whatever a failed check left up
  });
  page.DoModal();
  driver.join();
  EXPECT_EQ(FindWindowW(nullptr, u"photo"), nullptr);
  TheThumbIndex() = CThumbIndex();
}

}  // namespace
