// The main page run modally on the calling (window) thread while `drive` acts on it from
// another; afterwards whatever is still up, also after a failed check, is closed as the
// launcher closes it.
#pragma once

#include <functional>
#include <thread>

#include "app/launcher.h"
#include "browser/main_page_dlg.h"
#include "platform/kernel/kernel.h"

inline void RunMainPage(CMainPageDlg& page, const std::function<void()>& drive) {
  std::thread driver([&] {
    while (!FindWindowW(nullptr, u"photo")) Sleep(1);
    HWND pageWindow = FindWindowW(nullptr, u"photo");
    drive();
    if (HWND front = GetForegroundWindow(); front && front != pageWindow) PostMessage(front, kLauncherMessage, 34, 0);
    PostMessage(pageWindow, kLauncherMessage, 2, 0);
  });
  page.DoModal();
  driver.join();
}
