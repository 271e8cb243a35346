#include "app/photo_app.h"

#include "app/device_requests.h"
#include "app/launcher.h"
#include "browser/main_page_dlg.h"
#include "platform/kernel/kernel.h"
#include "platform/storage/registry.h"

namespace {

constexpr DWORD kStartColour = 0x6E6334;  // becomes the pixel 0x330D

HANDLE g_hInstanceEvent = nullptr;  // "belongstoPhoto": held while this copy runs
enum class Claim { NotAsked, Held, Refused } g_claim = Claim::NotAsked;
LONG g_LcdWidth = 480;
LONG g_LcdHeight = 272;

}  // namespace

LONG CPhotoApp::LcdWidth() { return g_LcdWidth; }
LONG CPhotoApp::LcdHeight() { return g_LcdHeight; }

void CPhotoApp::ReadLcdSize() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Display\\TCC78X\\CONFIG", 0, 0, &key) != ERROR_SUCCESS &&
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Display\\TCC79X\\CONFIG", 0, 0, &key) != ERROR_SUCCESS) {
    MessageBoxW(nullptr, u"Couldn't get LCD size from registry", nullptr, MB_OK);
    return;
  }
  DWORD type = 0;
  DWORD size = sizeof g_LcdWidth;
  if (RegQueryValueExW(key, u"LCD_Width", nullptr, &type, reinterpret_cast<BYTE*>(&g_LcdWidth), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD) {
    size = sizeof g_LcdHeight;
    RegQueryValueExW(key, u"LCD_Height", nullptr, &type, reinterpret_cast<BYTE*>(&g_LcdHeight), &size);
  }
  RegCloseKey(key);
}

bool CPhotoApp::ClaimInstance() {
  if (g_claim == Claim::NotAsked) {
    g_hInstanceEvent = CreateEventW(nullptr, TRUE, FALSE, u"belongstoPhoto");
    g_claim = g_hInstanceEvent && GetLastError() == ERROR_ALREADY_EXISTS ? Claim::Refused : Claim::Held;
  }
  return g_claim == Claim::Held;
}

BOOL CPhotoApp::InitInstance() {
  if (!ClaimInstance()) return FALSE;

  ReadLcdSize();
  CMainPageDlg mainPage;
  m_pMainWnd = &mainPage;
  BacklightRequest(kBacklightRequestA, 0);
  FillScreen(kStartColour);
  SetDialogBkColor(RGB(1, 1, 1), RGB(0, 0, 0));
  mainPage.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}

int CPhotoApp::ExitInstance() {
  if (g_hInstanceEvent) CloseHandle(g_hInstanceEvent);
  g_hInstanceEvent = nullptr;
  g_claim = Claim::NotAsked;
  BacklightRequest(kBacklightRequestA, 1);
  if (HWND launcher = FindLauncher()) PostMessage(launcher, kLauncherMessage, kLauncherEnded, kLauncherEndedParam);
  return CWinApp::ExitInstance();
}
