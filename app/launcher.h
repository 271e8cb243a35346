// The messages between the application and the device's launcher (a separate program
// whose top-level window is titled "mainpage").
#pragma once

#include "platform/windows/window.h"

constexpr UINT kLauncherMessage = 0x0BFB;
constexpr UINT kFirstPaintMessage = 0xCF02;  // sent to the launcher after the main page's first paint
constexpr UINT kHideMessage = 52999;         // acts like code 10 in the slideshow and the information dialog
constexpr int kModalClosedByLauncher = 34;   // a screen closed because the launcher asked

// wParam codes of kLauncherMessage.
constexpr WPARAM kLauncherEnded = 35;  // to the launcher, with lParam 4
constexpr LPARAM kLauncherEndedParam = 4;
constexpr WPARAM kLauncherBatteryRead = 6;
constexpr WPARAM kLauncherBatteryState = 7;
constexpr WPARAM kLauncherShow = 8;
constexpr WPARAM kLauncherHide = 10;

// Codes 2, 20, 32 and 34 close the application.
inline bool IsLauncherClose(WPARAM code) { return code == 2 || code == 20 || code == 32 || code == 34; }

// The launcher's window, when there is one.
inline HWND FindLauncher() { return FindWindowW(nullptr, u"mainpage"); }
