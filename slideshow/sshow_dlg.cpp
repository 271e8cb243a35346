#include "slideshow/sshow_dlg.h"

#include <algorithm>
#include <cstring>

#include "app/launcher.h"
#include "dialogs/volume_dlg.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "res/resources.h"
#include "slideshow/slide_picture.h"

StopFlag g_SlideshowStop{0};

namespace {

constexpr DWORD kDoubleTapMs = 400;
constexpr DWORD kInterruptSettleMs = 33;  // lets a running effect see the stop flag
constexpr DWORD kPictureThreadPollMs = 10;
constexpr int kPlaying = 2;
constexpr int kTrackEnded = 0;

void ClearScreen() {
  std::memset(GetVisibleFrame(), 0, kFrameBytes);
  AnnounceFrameChange();
}

}  // namespace

CSshowDlg::CSshowDlg(CPhotoList* list, int startIndex, int firstIndex, int lastIndex, CImageDecoder* decoder)
    : CDialog(IDD_SLIDESHOW),
      m_pList(list),
      m_pDecoder(decoder),
      m_StartIndex(startIndex),
      m_FirstIndex(firstIndex),
      m_LastIndex(lastIndex) {}

CSshowDlg::~CSshowDlg() {
  // The window's destruction has ended both threads; this only covers a dialog whose window
  // was never destroyed.
  if (m_hMusicThread) EndMusic();
  StopPictureThread();
}

BOOL CSshowDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_Player.SetNotify(m_hWnd, kPlayerNotify);

  m_Music.VolumeLevel() = CBackgroundMusic::kDefaultVolume;
  m_SavedPlayState = 0;
  m_ResumePending = 0;
  m_PhotoWidth = m_PhotoHeight = 0;
  m_Shown.width = 0;
  m_Shown.height = 0;
  m_EffectIndex = 0;
  m_FirstPaint = 1;
  m_ShownIndex = -1;
  m_LastTouch = GetTickCount() - kDoubleTapMs;  // no touch yet, whatever the tick count reads
  m_CurIndex = std::max(m_StartIndex, m_FirstIndex);

  ReadPhotoSize(m_CurIndex);
  LoadPicture();
  StartPictureThread();
  m_Music.RestoreAndStart();
  m_Player.SetVolume(m_Music.VolumeLevel());
  StartMusicThread();
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, kScreenWidth, kScreenHeight, SWP_NOMOVE);
  return TRUE;
}

void CSshowDlg::ReadPhotoSize(int index) {
  _tag_PHOTO_INFO info{};
  m_Player.GetPhotoInfo(&info, m_pList->GetName(index).c_str());
  m_PhotoWidth = info.Width;
  m_PhotoHeight = info.Height;
}

// ---- Painting --------------------------------------------------------------------------

void CSshowDlg::OnPaint() {
  CPaintDC dc(this);
  // Under the volume dialog the frame buffer is not this screen's: it repaints once the
  // dialog has gone.
  if (m_VolumeDialogUp) return;
  if (m_FirstPaint) {
    ClearScreen();
    m_FirstPaint = 0;
    Invalidate();
    return;
  }
  if (m_ResumePending) {
    ClearScreen();
    m_ResumePending = 0;
    if (m_SavedPlayState == kPlaying) m_Player.Play();
    StartPictureThread();
  }
  {
    std::lock_guard decoder(m_DecoderLock);
    if (!m_pDecoder->IsDecoded()) {
      // The picture thread loads the next picture and then asks for a repaint: photos that
      // cannot be shown are passed over without a pause.
      SetEvent(m_EvLoad);
      SetEvent(m_EvWake);
      return;
    }
    const SlideFit fit = FitToScreen(m_pDecoder->m_ImageInfo.Width, m_pDecoder->m_ImageInfo.Height);
    m_Shown.width = fit.width;
    m_Shown.height = fit.height;
    ClearScreen();
    m_pDecoder->Draw(dc.m_hDC, &fit.rect);
    m_ShownIndex = m_CurIndex.load();
  }
  OnPictureShown();
  // The next picture is loaded while this one is shown.
  SetEvent(m_EvLoad);
  SetTimer(kTransitionTimer, kShowMs, nullptr);
}

void CSshowDlg::OnTimer(UINT_PTR id) {
  if (id != kTransitionTimer) return CDialog::OnTimer(id);
  KillTimer(kTransitionTimer);
  SetEvent(m_EvTransition);
}

// ---- Touches and the volume dialog ---------------------------------------------------------

void CSshowDlg::OnLButtonDown(UINT, CPoint) {
  const DWORD now = GetTickCount();
  const bool doubleTap = now - m_LastTouch < kDoubleTapMs;
  m_LastTouch = now;
  if (doubleTap) OpenVolumeDialog();
}

void CSshowDlg::OpenVolumeDialog() {
  KillTimer(kTransitionTimer);
  // The music thread stops the picture thread while this thread runs the dialog. The flag is
  // raised here too, so that a running effect ends at once and leaves the screen to the dialog.
  g_SlideshowStop = 1;
  if (m_hMusicThread)
    SetEvent(m_EvMusicStop);
  else
    StopPictureThread();
  { std::lock_guard frame(m_FrameLock); }

  m_VolumeDialogUp = 1;
  CVolumeDlg volume(&m_Player, &m_Music.VolumeLevel());
  const INT_PTR result = volume.DoModal();
  m_VolumeDialogUp = 0;
  if (result != kVolumeTimedOut) {
    OnCancel();
    return;
  }
  // The repaint that follows the dialog shows the picture loaded meanwhile, and the show
  // goes on from there.
  while (m_hPictureThread) Sleep(kPictureThreadPollMs);
  StartPictureThread();
}

// ---- Messages from outside ---------------------------------------------------------------

LRESULT CSshowDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kLauncherMessage:
      OnLauncher(wParam);
      return Default();
    case kHideMessage:
      Interrupt();
      return Default();
    case kPlayerNotify:
      OnPlayerNotify();
      return 0;
    default:
      return CDialog::WindowProc(message, wParam, lParam);
  }
}

void CSshowDlg::OnLauncher(WPARAM code) {
  if (code == kLauncherHide) {
    Interrupt();
  } else if (code == kLauncherShow) {
    // On the device the launcher's own screen going away repaints the slideshow, and that
    // paint resumes it; here nothing covered it, so being shown again repaints it.
    if (m_ResumePending) Invalidate();
  } else if (code == 20 || code == 32 || code == 34) {
    g_SlideshowStop = 1;
    printf(" DRV_SD_RMV2 b\r\n");
    KillTimer(kTransitionTimer);
    EndDialog(kModalClosedByLauncher);
  }
}

// Pauses pictures and music until the next paint.
void CSshowDlg::Interrupt() {
  g_SlideshowStop = 1;
  KillTimer(kTransitionTimer);
  Sleep(kInterruptSettleMs);
  // Each interruption saves the player's state anew: after a second one in a row the music
  // is already paused, and the show resumes it paused.
  m_ResumePending = 1;
  StopPictureThread();
  m_SavedPlayState = m_Player.Getsts();
  if (m_SavedPlayState == kPlaying) m_Player.Pause();
  // The stopped picture thread asked for a repaint on its way out; the pause lasts until the
  // screen is shown again.
  ValidateRect(m_hWnd, nullptr);
}

void CSshowDlg::OnPlayerNotify() {
  std::int32_t code = -1;
  while (m_Player.GetEvent(&code)) {
    if (code == kTrackEnded) SetEvent(m_EvNextTrack);
    code = -1;
  }
}

// ---- The end -----------------------------------------------------------------------------

void CSshowDlg::OnDestroy() {
  KillTimer(kTransitionTimer);
  m_Music.Save();
  EndMusic();
  StopPictureThread();
  m_Player.SetNotify(nullptr, 0);
  printf("CSshowDlg Exit...\r\n");
  CDialog::OnDestroy();
}
