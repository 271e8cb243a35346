#include "browser/main_page_dlg.h"

#include "app/device_requests.h"
#include "app/launcher.h"
#include "res/resources.h"
#include "skin/skin.h"

namespace {

struct ButtonPlace {
  int id;
  UINT up, down;
  int x;
};

// Along the bottom, left to right.
constexpr ButtonPlace kButtonPlaces[CMainPageDlg::kButtonCount] = {
    {CMainPageDlg::kFolderUp, skin::kFolderUpUp, skin::kFolderUpDown, 35},
    {CMainPageDlg::kSlideshow, skin::kSlideshowUp, skin::kSlideshowDown, 160},
    {CMainPageDlg::kPrevPage, skin::kPrevPageUp, skin::kPrevPageDown, 285},
    {CMainPageDlg::kNextPage, skin::kNextPageUp, skin::kNextPageDown, 410},
    {CMainPageDlg::kInfo, skin::kInfoUp, skin::kInfoDown, 535},
    {CMainPageDlg::kExit, skin::kExitUp, skin::kExitDown, 660},
};

constexpr UINT_PTR kBatteryTimer = 1;
constexpr int kBatteryX = 740, kBatteryY = 15;

}  // namespace

CMainPageDlg::CMainPageDlg() : CDialog(IDD_MAINPAGE) {}

CMainPageDlg::~CMainPageDlg() = default;

BOOL CMainPageDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  HICON icon = LoadIconFromResources(IDI_APP);
  SetIcon(icon, TRUE);
  SetIcon(icon, FALSE);
  SetWindowText(u"photo");
  LoadSkinBitmap(m_Background, skin::kMainBackground);
  for (int i = 0; i < kButtonCount; ++i) {
    m_Buttons[i].Bind(this, kButtonPlaces[i].id, kButtonPlaces[i].up, kButtonPlaces[i].down);
    m_Buttons[i].Place(kButtonPlaces[i].x, 400, 100, 64);
  }
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ShowCursor(FALSE);
  m_pBatteryIcon = std::make_unique<CBatteryIcon>(this, kBatteryTimer, skin::kBatteryFrames, skin::kMainBackground,
                                                  kBatteryX, kBatteryY, kBatteryX, kBatteryY);
  m_pBatteryIcon->SetState(ReadBatteryState(), 0);
  return TRUE;
}

void CMainPageDlg::OnPaint() {
  CPaintDC dc(this);
  if (!m_Hidden) {
    BlitBitmap(this, 0, 0, 0, 0, 0, 0, m_Background);
    m_pBatteryIcon->Draw(1);
  }
  if (m_PaintedOnce) {
    m_PaintedOnce = 0;
    if (HWND launcher = FindLauncher()) ::SendMessage(launcher, kFirstPaintMessage, 0, 0);
  }
  m_Ready = 1;
}

BOOL CMainPageDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  int id = LOWORD(wParam);
  bool isPageButton = false;
  for (const ButtonPlace& place : kButtonPlaces) isPageButton = isPageButton || place.id == id;
  if (!isPageButton) return CDialog::OnCommand(wParam, lParam);
  if (!m_Ready) return TRUE;
  m_SysParam.Click();
  if (id == kExit) ClosePage();
  return TRUE;
}

LRESULT CMainPageDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kLauncherMessage) {
    OnLauncher(wParam, lParam);
    return Default();
  }
  return CDialog::WindowProc(message, wParam, lParam);
}

void CMainPageDlg::OnLauncher(WPARAM code, LPARAM value) {
  if (IsLauncherClose(code)) {
    ClosePage();
  } else if (code == kLauncherBatteryRead) {
    if (value == 1)
      m_pBatteryIcon->SetState(7, 1);
    else
      m_pBatteryIcon->SetState(ReadBatteryState(), 0);
  } else if (code == kLauncherBatteryState) {
    m_pBatteryIcon->SetState(static_cast<LONG>(value), 1);
  } else if (code == kLauncherShow) {
    m_Hidden = 0;
    ShowButtons(SW_SHOW);
    Invalidate(TRUE);
  } else if (code == kLauncherHide) {
    m_Hidden = 1;
    ShowButtons(SW_HIDE);
  }
}

void CMainPageDlg::ShowButtons(int command) {
  for (CSkinButton& button : m_Buttons) button.ShowWindow(command);
}

void CMainPageDlg::ClosePage() { EndDialog(IDOK); }

void CMainPageDlg::OnDestroy() {
  m_pBatteryIcon.reset();
  m_Background.DeleteObject();
  CDialog::OnDestroy();
}
