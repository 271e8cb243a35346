// The photo view's window side: start, painting, the buttons, touches and the end.
#include "viewer/photo_view_dlg.h"

#include <cstring>

#include "app/launcher.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "res/resources.h"
#include "skin/skin.h"
#include "viewer/open_size.h"

namespace {

struct ButtonPlace {
  int id;
  UINT up, down;
};

// Left to right along the bottom.
constexpr ButtonPlace kButtonPlaces[CPhotoViewDlg::kButtonCount] = {
    {CPhotoViewDlg::kPrevious, skin::kPrevPhotoUp, skin::kPrevPhotoDown},
    {CPhotoViewDlg::kNext, skin::kNextPhotoUp, skin::kNextPhotoDown},
    {CPhotoViewDlg::kRotate, skin::kRotateUp, skin::kRotateDown},
    {CPhotoViewDlg::kOriginal, skin::kOriginalUp, skin::kOriginalDown},
    {CPhotoViewDlg::kZoomIn, skin::kZoomInUp, skin::kZoomInDown},
    {CPhotoViewDlg::kZoomOut, skin::kZoomOutUp, skin::kZoomOutDown},
    {CPhotoViewDlg::kExit, skin::kExitUp, skin::kExitDown},
};
constexpr int kButtonY = 400, kButtonW = 100, kButtonH = 64;
int ButtonX(int position) { return 25 + 108 * position; }

// The error picture, stretched and centred in the 758-pixel frame.
constexpr int kErrorX = 204, kErrorY = 0, kErrorSide = 350;

constexpr DWORD kDoubleTapMs = 400;

// Launcher codes that close the view.
bool ClosesView(WPARAM code) { return code == 20 || code == 32 || code == 34; }

}  // namespace

CPhotoViewDlg::CPhotoViewDlg(Cplayerc* player, CPhotoList* list, CSysParam* sysParam, int index, int first, int last,
                             CImageDecoder* decoder)
    : CDialog(IDD_PHOTOVIEW),
      m_pPlayer(player),
      m_pList(list),
      m_pSysParam(sysParam),
      m_pDecoder(decoder),
      m_CurrentIndex(index),
      m_FirstIndex(first),
      m_LastIndex(last) {}

CPhotoViewDlg::~CPhotoViewDlg() { StopWorker(); }

BOOL CPhotoViewDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  LoadSkinBitmap(m_Background, skin::kViewBackground);
  LoadSkinBitmap(m_Damaged, skin::kDamaged);
  LoadSkinBitmap(m_TooLarge, skin::kTooLarge);
  m_Geometry.SetLayout(false);
  m_Geometry.m_RotatePending = FALSE;
  m_FullScreenShown = 0;
  m_FirstPaintDone = 0;
  m_Busy = 0;
  m_Ready = 0;
  // No touch yet: the first one is never the second of a double tap, however young the
  // process is.
  m_LastTouchTime = GetTickCount() - kDoubleTapMs;
  m_PictureFrame.SubclassDlgItem(kPictureFrame, this);
  m_PictureFrame.MoveWindow(kNormalScreenRect.left, kNormalScreenRect.top, kNormalViewRect.right, kNormalViewRect.bottom);
  m_hDialog = m_hWnd;
  StartWorker();
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, kScreenWidth, kScreenHeight, SWP_NOMOVE);
  return TRUE;
}

// ---- Drawing ---------------------------------------------------------------------------------

BOOL CPhotoViewDlg::OnEraseBkgnd(CDC*) {
  if (m_FullScreenShown) {
    std::memset(GetVisibleFrame(), 0, kFrameBytes);
    AnnounceFrameChange();
  } else {
    BlitBitmap(this, 0, 0, 0, 0, 0, 0, m_Background);
  }
  return TRUE;
}

void CPhotoViewDlg::OnPaint() {
  CPaintDC dc(this);
  if (!m_FirstPaintDone) {
    // The first paint only gives the buttons their look. An open that ended before it has
    // had its repaint taken by this paint: ask for another.
    m_FirstPaintDone = 1;
    CreateButtons();
    if (m_PhotoOpened) Invalidate(FALSE);
    return;
  }
  PhotoLock lock = TryLockPhoto();
  if (!lock) return;  // an open runs; it asks for a repaint when it ends
  if (m_ClearPending.exchange(0)) m_Geometry.ClearScreenRect();
  if (const int error = m_ErrorState; error != kPhotoShown) {
    m_Geometry.ClearScreenRect();
    BlitStretched(&m_PictureFrame, kErrorX, kErrorY, kErrorSide, kErrorSide, 0, 0,
                  error == kPhotoTooLarge ? m_TooLarge : m_Damaged);
    return;
  }
  if (!m_FullScreenShown) {
    // In the frame the photo is drawn by timer 2, through the frame's own context.
    m_TimerRunning = 1;
    SetTimer(kDrawTimer, 1, nullptr);
    return;
  }
  const RECT rendRect = m_Geometry.ComputeRendRect();
  m_pDecoder->Draw(dc, &rendRect);
  ++m_DrawCount;
}

void CPhotoViewDlg::OnTimer(UINT_PTR id) {
  if (id == kDrawTimer) {
    if (PhotoLock lock = TryLockPhoto(); lock && m_ErrorState == kPhotoShown) DrawPhotoInFrame();
    KillTimer(kDrawTimer);
    m_TimerRunning = 0;
  }
  m_Ready = 1;
}

void CPhotoViewDlg::DrawPhotoInFrame() {
  const RECT rendRect = m_Geometry.ComputeRendRect();
  CDC* dc = m_PictureFrame.GetDC();
  if (!dc) return;
  // Zoomed in, the photo covers at least what it covered before; fitted, it may not.
  if (!m_Geometry.IsZoomed()) m_Geometry.ClearScreenRect();
  m_pDecoder->Draw(*dc, &rendRect);
  m_PictureFrame.ReleaseDC(dc);
  ++m_DrawCount;
}

void CPhotoViewDlg::CreateButtons() {
  for (int i = 0; i < kButtonCount; ++i) {
    m_Buttons[i].Bind(this, kButtonPlaces[i].id, kButtonPlaces[i].up, kButtonPlaces[i].down);
    m_Buttons[i].Place(ButtonX(i), kButtonY, kButtonW, kButtonH);
  }
}

void CPhotoViewDlg::ShowButtons(int command) {
  for (CSkinButton& button : m_Buttons)
    if (button.m_hWnd) button.ShowWindow(command);
}

// ---- Buttons ---------------------------------------------------------------------------------

BOOL CPhotoViewDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  switch (id) {
    case kPrevious:
    case kNext:
      m_pSysParam->Click();
      OnStep(id == kNext ? 1 : -1);
      return TRUE;
    case kExit:
    case kRotate:
    case kOriginal:
    case kZoomIn:
    case kZoomOut:
      break;
    default:
      return CDialog::OnCommand(wParam, lParam);
  }
  // These wait until the photo has been opened: not even the click sounds meanwhile.
  if (m_Busy) return TRUE;
  m_pSysParam->Click();
  if (id == kExit) OnOK();
  else if (id == kRotate) OnRotate();
  else if (id == kOriginal) OnOriginal();
  else OnZoom(id == kZoomIn);
  return TRUE;
}

void CPhotoViewDlg::OnStep(int step) {
  int index = m_CurrentIndex + step;
  if (index < m_FirstIndex) index = m_LastIndex;
  if (index > m_LastIndex) index = m_FirstIndex;
  m_CurrentIndex = index;
  AskOpen();
}

void CPhotoViewDlg::OnRotate() {
  if (!m_Ready) return;
  PhotoLock lock = TryLockPhoto();
  if (!lock) return;
  m_Ready = 0;
  ++m_Geometry.m_Rotation;
  m_Geometry.m_RotatePending = TRUE;
  CommonRedraw();
}

void CPhotoViewDlg::OnOriginal() {
  if (m_ErrorState != kPhotoShown) return;
  PhotoLock lock = TryLockPhoto();
  if (!lock) return;
  if (m_Geometry.m_ZoomLevel == kDefaultZoomLevel && m_Geometry.m_Rotation == 0) return;
  if (!m_Ready) return;
  m_Ready = 0;
  m_Geometry.ResetView();
  CommonRedraw();
}

// After a turn or "original", with the lock held: the photo turned as asked and drawn anew
// over a fresh background.
void CPhotoViewDlg::CommonRedraw() {
  if (m_ErrorState != kPhotoShown) return;
  m_Geometry.CalcRectRotateImg(*m_pDecoder);
  m_Geometry.TurnPanOffset();
  Invalidate(TRUE);
  m_Geometry.ClearScreenRect();
}

void CPhotoViewDlg::OnZoom(bool in) {
  if (m_ErrorState != kPhotoShown) return;
  PhotoLock lock = TryLockPhoto();
  if (!lock) return;
  if (in)
    m_Geometry.ZoomIn();
  else
    m_Geometry.ZoomOut();
  Invalidate(FALSE);
  if (!in) m_Geometry.ClearScreenRect();
}

// ---- Touches ---------------------------------------------------------------------------------

void CPhotoViewDlg::OnLButtonDown(UINT, CPoint point) {
  PhotoLock lock = TryLockPhoto();
  if (lock) m_Geometry.TouchDown(point);
  const DWORD now = GetTickCount();
  if (now - m_LastTouchTime >= kDoubleTapMs) {
    m_LastTouchTime = now;
    return;
  }
  // A double tap switches the layout, but only over a photo that is there to stay.
  if (!lock || m_Busy || !m_pDecoder->IsDecoded()) return;
  ToggleFullScreen();
  m_LastTouchTime = now - kDoubleTapMs;  // the next touch starts a new double tap
}

void CPhotoViewDlg::ToggleFullScreen() {
  if (!m_FullScreenShown) {
    m_Geometry.SetLayout(true);
    m_FullScreenShown = 1;
    m_PictureFrame.MoveWindow(&kFullScreenRect);
    m_Geometry.CalcRectRotateImg(*m_pDecoder);
    m_PictureFrame.ShowWindow(SW_HIDE);
    ShowButtons(SW_HIDE);
  } else {
    BlitBitmap(this, 0, 0, 0, 0, 0, 0, m_Background);
    m_Geometry.SetLayout(false);
    m_FullScreenShown = 0;
    m_PictureFrame.MoveWindow(&kNormalScreenRect);
    m_Geometry.CalcRectRotateImg(*m_pDecoder);
    m_PictureFrame.ShowWindow(SW_SHOW);
    ++m_RedrawAsks;
    if (HANDLE redraw = m_EvRedraw) SetEvent(redraw);
    ShowButtons(SW_SHOW);
  }
}

void CPhotoViewDlg::OnMouseMove(UINT, CPoint point) {
  PhotoLock lock = TryLockPhoto();
  if (lock && m_Geometry.MouseMove(point)) Invalidate(FALSE);
}

void CPhotoViewDlg::OnLButtonUp(UINT, CPoint) {
  // During an open the drag is dropped: the open resets the pan anyway.
  if (PhotoLock lock = TryLockPhoto()) m_Geometry.TouchUp();
}

// ---- The launcher and the end ----------------------------------------------------------------

LRESULT CPhotoViewDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kLauncherMessage) {
    if (ClosesView(wParam)) EndDialog(kModalClosedByLauncher);
    return Default();
  }
  return CDialog::WindowProc(message, wParam, lParam);
}

void CPhotoViewDlg::OnDestroy() {
  KillTimer(kDrawTimer);
  m_TimerRunning = 0;
  StopWorker();
  printf(" OnButViewExit...\r\n");
  m_Background.DeleteObject();
  m_Damaged.DeleteObject();
  m_TooLarge.DeleteObject();
  CDialog::OnDestroy();
}

// ---- For tests -------------------------------------------------------------------------------

bool CPhotoViewDlg::IsWorkPending() const {
  return m_Busy || m_OpensDone != m_OpenAsks || m_RedrawsDone != m_RedrawAsks || m_TimerRunning;
}

CPhotoViewGeometry CPhotoViewDlg::Geometry() const {
  std::lock_guard lock(m_PhotoLock);
  return m_Geometry;
}
