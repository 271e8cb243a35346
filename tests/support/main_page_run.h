// The main page run modally on the calling (window) thread while `drive` acts on it from
// another once its thumbnails are done; afterwards whatever is still up, also after a failed
// check, is closed as the launcher closes it (unless `drive` closed it itself: close false).
// The page's result. And the card those tests run it on.
#pragma once

#include <stdlib.h>

#include <functional>
#include <string>
#include <thread>

#include "app/launcher.h"
#include "browser/main_page_dlg.h"
#include "platform/kernel/kernel.h"
#include "res/resources.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/screen.h"
#include "tests/support/temp_root.h"
#include "thumbs/thumb_index.h"

// Waits until the page's thumbnail thread has nothing to do and the window has painted it
// all; whether it came to that.
inline bool PageSettled(const CMainPageDlg& page) {
  return AwaitIdle([&] { return page.IsThumbThreadIdle(); });
}

inline INT_PTR RunMainPage(CMainPageDlg& page, const std::function<void()>& drive, bool close = true) {
  std::thread driver([&] {
    while (!FindWindowW(nullptr, u"photo")) Sleep(1);
    HWND pageWindow = FindWindowW(nullptr, u"photo");
    EXPECT_TRUE(PageSettled(page));
    drive();
    if (!close) return;
    if (HWND front = GetForegroundWindow(); front && front != pageWindow) PostMessage(front, kLauncherMessage, 34, 0);
    PostMessage(pageWindow, kLauncherMessage, 2, 0);
  });
  const INT_PTR result = page.DoModal();
  driver.join();
  return result;
}

inline POINT CellCentre(int cell) {
  const RECT r = CMainPageDlg::OuterCell(cell);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A card of `photos` JPEGs p0.jpg, p1.jpg, ... listing in name order, with the skin installed,
// a fresh thumbnail index and no sound device; afterwards the clock runs at its own speed
// and the index is fresh again.
struct MainPageCard {
  explicit MainPageCard(int photos, int width = 200, int height = 100) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    InstallResources();
    TheThumbIndex() = CThumbIndex();
    root.ListInNameOrder();
    const Bytes jpeg = MakeJpeg(Pattern(width, height), 90);
    for (int i = 0; i < photos; ++i) root.WriteFile("SDMMC/p" + std::to_string(i) + ".jpg", jpeg);
  }
  ~MainPageCard() {
    SetClockSpeed(1);
    TheThumbIndex() = CThumbIndex();
  }
  TempDeviceRoot root;
};
