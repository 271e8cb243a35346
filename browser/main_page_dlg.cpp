#include "browser/main_page_dlg.h"

#include "app/device_requests.h"
#include "app/launcher.h"
#include "folders/folder_nav.h"
#include "dialogs/info_dlg.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "res/resources.h"
#include "skin/skin.h"
#include "skin/thumb_painter.h"
#include "slideshow/sshow_dlg.h"
#include "viewer/photo_view_dlg.h"

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
constexpr int kButtonY = 400, kButtonW = 100, kButtonH = 64;

constexpr UINT_PTR kBatteryTimer = 1;
constexpr int kBatteryX = 740, kBatteryY = 15;
constexpr int kThumbThreadPriority = 5;  // 0 highest .. 7 idle
constexpr DWORD kDoubleTapMs = 400;
constexpr DWORD kBeforeScreenMs = 100;  // for the thumbnail thread to leave its page

// Cells: four columns of 190 pixels from x 28, two rows of 145 pixels from y 85.
constexpr int kCellLeft = 28, kCellTop = 85, kColumnStep = 190, kRowStep = 145;
constexpr int kCellW = 170, kCellH = 130;

// When the last touch that selected a cell came; process-wide, as every page shares it.
std::atomic<DWORD> g_LastSelectingTouch = 0;

}  // namespace

DWORD CMainPageDlg::LastSelectingTouch() { return g_LastSelectingTouch; }
void CMainPageDlg::SetLastSelectingTouch(DWORD tick) { g_LastSelectingTouch = tick; }

RECT CMainPageDlg::OuterCell(int cell) {
  int left = kCellLeft + kColumnStep * (cell % 4);
  int top = kCellTop + kRowStep * (cell / 4);
  return RECT{left, top, left + kCellW, top + kCellH};
}

RECT CMainPageDlg::InnerCell(int cell) {
  RECT r = OuterCell(cell);
  return RECT{r.left + 5, r.top + 5, r.right - 5, r.bottom - 6};
}

CMainPageDlg::CMainPageDlg() : CDialog(IDD_MAINPAGE), m_FolderPath(kCardFolder) {}

CMainPageDlg::~CMainPageDlg() { StopThread(); }

CPhotoList* CMainPageDlg::NewPhotoList() { return new CPhotoList(this); }

BOOL CMainPageDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  HICON icon = LoadIconFromResources(IDI_APP);
  SetIcon(icon, TRUE);
  SetIcon(icon, FALSE);
  SetWindowText(u"photo");
  // No touch yet: the first one only selects, whatever the tick count reads.
  g_LastSelectingTouch = GetTickCount() - kDoubleTapMs;

  for (int c = 0; c < kCellsPerPage; ++c) {
    m_OuterRects[c] = OuterCell(c);
    m_InnerRects[c] = InnerCell(c);
  }
  m_InnerWidth = m_InnerRects[0].right - m_InnerRects[0].left;
  m_InnerHeight = m_InnerRects[0].bottom - m_InnerRects[0].top;

  LoadSkinBitmap(m_Background, skin::kMainBackground);
  LoadSkinBitmap(m_FolderPicture, skin::kFolder);
  LoadSkinBitmap(m_Placeholder, skin::kPlaceholder);
  LoadSkinBitmap(m_Frame, skin::kCellFrame);
  LoadSkinBitmap(m_FrameSelected, skin::kCellFrameSelected);
  for (int i = 0; i < kButtonCount; ++i) {
    m_Buttons[i].Bind(this, kButtonPlaces[i].id, kButtonPlaces[i].up, kButtonPlaces[i].down);
    m_Buttons[i].Place(kButtonPlaces[i].x, kButtonY, kButtonW, kButtonH);
  }
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  m_BackFromInfo = 0;

  m_pPhotoList.reset(NewPhotoList());
  m_KindCache.assign(kKindCacheSlots, kKindUnknown);
  CThumbPainter::Instance().SetRects(m_InnerRects, kCellsPerPage);

  m_AbortFlag = 0;
  m_ExitFlag = 0;
  m_LastUpdated = -1;
  m_PendingSelection = -1;
  m_EvThumbDecNew = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  m_EvThumbDecPage = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  m_hThumbThread = CreateThread(nullptr, 0, ThumbDecThread, this, 0, nullptr);
  if (m_hThumbThread) CeSetThreadPriority(m_hThumbThread, kThumbThreadPriority);

  ShowCursor(FALSE);
  m_pBatteryIcon = std::make_unique<CBatteryIcon>(this, kBatteryTimer, skin::kBatteryFrames, skin::kMainBackground,
                                                  kBatteryX, kBatteryY, kBatteryX, kBatteryY);
  m_pBatteryIcon->SetState(ReadBatteryState(), 0);
  m_pDecoder = std::make_unique<CImageDecoder>();
  return TRUE;
}

WString CMainPageDlg::CurrentFolder() const {
  std::lock_guard guard(m_FolderLock);
  return m_FolderPath;
}

void CMainPageDlg::MoveFolder(const WString& entryName) {
  std::lock_guard guard(m_FolderLock);
  EnterFolder(m_FolderPath, entryName);
}

bool CMainPageDlg::IsThumbThreadIdle() const {
  return m_PageDone && WaitForSingleObject(m_EvThumbDecNew, 0) == WAIT_TIMEOUT &&
         WaitForSingleObject(m_EvThumbDecPage, 0) == WAIT_TIMEOUT;
}

INT_PTR CMainPageDlg::RunScreen(CDialog& screen) {
  m_ScreenOver = 1;
  INT_PTR result = screen.DoModal();
  m_ScreenOver = 0;
  return result;
}

// ---- Touches and buttons ------------------------------------------------------------------

void CMainPageDlg::OnLButtonDown(UINT flags, CPoint point) {
  if (!m_Ready) return;
  int cell = -1;
  for (int c = 0; c < kCellsPerPage && cell < 0; ++c) {
    const RECT& r = m_OuterRects[c];
    if (point.x >= r.left && point.x <= r.right && point.y >= r.top && point.y <= r.bottom) cell = c;
  }
  printf("index = %d\r\n", cell);
  if (cell < 0) return;
  m_SysParam.Click();
  LONG index = kCellsPerPage * m_CurPage + cell;
  if (index >= m_EntryCount) return;

  DWORD now = GetTickCount();
  if (now - g_LastSelectingTouch >= kDoubleTapMs) {
    g_LastSelectingTouch = now;
    ChangeSelection(index);
  } else {
    WString name = m_pPhotoList->GetName(index);
    if (name.empty() || name[0] != u'<')
      OpenPhoto(index);
    else if (m_PageDone && WaitForSingleObject(m_EvThumbDecNew, 0) == WAIT_TIMEOUT)  // the listing is the path's
      OpenFolder(name);
  }
  CDialog::OnLButtonDown(flags, point);
}

void CMainPageDlg::OpenFolder(const WString& name) {
  m_AbortFlag = 1;
  MoveFolder(name);
  SetEvent(m_EvThumbDecNew);
}

void CMainPageDlg::OpenPhoto(int index) {
  int first = 0, last = 0;
  if (!FindPhotoRange(*m_pPhotoList, first, last)) return;
  CPhotoViewDlg view(&m_Player, m_pPhotoList.get(), &m_SysParam, index, first, last, m_pDecoder.get());
  // The view uses the list and the decoder: the thumbnail thread leaves its page first.
  m_AbortFlag = 1;
  Sleep(kBeforeScreenMs);
  if (RunScreen(view) == kModalClosedByLauncher) {
    ClosePage();
    return;
  }
  // Back on the page of the photo shown last, with that photo selected.
  ResumeAt(view.CurrentIndex());
}

void CMainPageDlg::OnSlideshow() {
  int first = 0, last = 0;
  if (!FindPhotoRange(*m_pPhotoList, first, last)) return;
  BacklightRequest(kBacklightRequestB, 0);
  // Presses queued meanwhile are ignored until the page has painted again.
  m_Ready = 0;
  CSshowDlg show(m_pPhotoList.get(), m_SelectedIndex, first, last, m_pDecoder.get());
  m_AbortFlag = 1;  // the slideshow uses the list and the decoder: the thread leaves its page
  Sleep(kBeforeScreenMs);
  const INT_PTR result = RunScreen(show);
  BacklightRequest(kBacklightRequestB, 1);
  if (result == kModalClosedByLauncher) {
    ClosePage();
    return;
  }
  // The page of the picture that would have come next, with it selected.
  ResumeAt(show.CurrentIndex());
}

void CMainPageDlg::ResumeAt(LONG index) {
  m_AbortFlag = 0;
  m_SelectedIndex = index;
  m_PendingSelection = index;
  m_CurPage = PageOf(index);
  SetEvent(m_EvThumbDecPage);
  m_LastUpdated = -1;
}

void CMainPageDlg::OnInfo() {
  // Not while the thread works on a page, which uses the list and the decoder.
  if (!m_PageDone) return;
  const LONG selected = m_SelectedIndex;
  const WString name = m_pPhotoList->GetName(selected);
  if (name.empty() || name[0] == u'<') return;  // no entry, or a folder
  CInfoDlg info(&m_Player, m_pPhotoList.get(), selected, m_pBatteryIcon.get(), m_pDecoder.get());
  if (RunScreen(info) == kModalClosedByLauncher) {
    ClosePage();
    return;
  }
  // The next paint draws the background and asks for a whole repaint through timer 7.
  m_BackFromInfo = 1;
  m_LastUpdated = -1;
}

void CMainPageDlg::OnFolderUp() {
  if (m_pPhotoList->GetName(0) != u"<..>") return;
  {
    // A second press before the thread has listed the folder above finds the old listing;
    // it may take the path up again, but never above the card.
    std::lock_guard guard(m_FolderLock);
    if (!HasParentFolder(m_FolderPath)) return;
    EnterFolder(m_FolderPath, u"<..>");
  }
  SetEvent(m_EvThumbDecNew);
}

void CMainPageDlg::OnPrevPage() {
  if (m_CurPage < 1) return;
  m_CurPage = m_CurPage - 1;
  m_AbortFlag = 1;
  SetEvent(m_EvThumbDecPage);
}

void CMainPageDlg::OnNextPage() {
  if (m_CurPage + 1 >= m_PageCount) return;
  m_CurPage = m_CurPage + 1;
  m_AbortFlag = 1;
  SetEvent(m_EvThumbDecPage);
}

BOOL CMainPageDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  int id = LOWORD(wParam);
  bool isPageButton = false;
  for (const ButtonPlace& place : kButtonPlaces) isPageButton = isPageButton || place.id == id;
  if (!isPageButton) return CDialog::OnCommand(wParam, lParam);
  if (!m_Ready) return TRUE;
  m_SysParam.Click();
  switch (id) {
    case kExit: ClosePage(); break;
    case kFolderUp: OnFolderUp(); break;
    case kSlideshow: OnSlideshow(); break;
    case kPrevPage: OnPrevPage(); break;
    case kNextPage: OnNextPage(); break;
    case kInfo: OnInfo(); break;
    default: break;
  }
  return TRUE;
}

void CMainPageDlg::OnTimer(UINT_PTR id) {
  Invalidate(TRUE);
  KillTimer(7);
  CDialog::OnTimer(id);
}

// ---- The launcher -------------------------------------------------------------------------

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
    m_LastUpdated = -1;
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

// ---- Closing ------------------------------------------------------------------------------

void CMainPageDlg::ClosePage() {
  StopThread();
  EndDialog(IDOK);
}

void CMainPageDlg::OnDestroy() {
  StopThread();  // also when the page ends without ClosePage (the host ended the loops)
  KillTimer(7);
  m_pBatteryIcon.reset();
  m_Background.DeleteObject();
  m_FolderPicture.DeleteObject();
  m_Placeholder.DeleteObject();
  m_Frame.DeleteObject();
  m_FrameSelected.DeleteObject();
  m_pDecoder.reset();
  m_pPhotoList.reset();
  for (HANDLE* event : {&m_EvThumbDecNew, &m_EvThumbDecPage}) {
    if (*event) CloseHandle(*event);
    *event = nullptr;
  }
  CDialog::OnDestroy();
}
