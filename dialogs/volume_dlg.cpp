#include "dialogs/volume_dlg.h"

#include "platform/device/framebuffer.h"
#include "res/resources.h"
#include "skin/skin.h"

namespace {

constexpr int kButtonY = 400, kButtonWidth = 88, kButtonHeight = 56;
constexpr int kExitX = 20, kDecX = 130, kAddX = 590, kPlayX = 685;
constexpr int kPlaying = 2;  // the player's state while music plays

// Window thread only: every dialog draws over what the one before left on the screen.
int g_LastDrawnLevel = 0;

// Copies a w x h part of the bitmap from (srcX, srcY) to (x, y) of the dialog's context.
void Copy(CDC& dc, int x, int y, int w, int h, CBitmap& bitmap, int srcX, int srcY) {
  CDC memory;
  memory.CreateCompatibleDC(&dc);
  HGDIOBJ old = memory.SelectObject(bitmap.m_hObject);
  dc.BitBlt(x, y, w, h, &memory, srcX, srcY, SRCCOPY);
  memory.SelectObject(old);
}

}  // namespace

int CVolumeDlg::LastDrawnLevel() { return g_LastDrawnLevel; }

CVolumeDlg::CVolumeDlg(Cplayerc* player, int* volumeLevel)
    : CDialog(IDD_VOLUME), m_pPlayer(player), m_pVolumeLevel(volumeLevel) {}

BOOL CVolumeDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_ExitButton.Bind(this, kExit, skin::kBackUp, skin::kBackDown);
  m_DecButton.Bind(this, kDec, skin::kVolumeDecUp, skin::kVolumeDecDown);
  m_AddButton.Bind(this, kAdd, skin::kVolumeAddUp, skin::kVolumeAddDown);
  ShowPlayState();
  m_ExitButton.Place(kExitX, kButtonY, kButtonWidth, kButtonHeight);
  m_DecButton.Place(kDecX, kButtonY, kButtonWidth, kButtonHeight);
  m_AddButton.Place(kAddX, kButtonY, kButtonWidth, kButtonHeight);
  m_PlayButton.Place(kPlayX, kButtonY, kButtonWidth, kButtonHeight);
  LoadSkinBitmap(m_BarFill, skin::kVolumeFill);
  LoadSkinBitmap(m_BarFrame, skin::kVolumeBar);
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, kScreenWidth, kScreenHeight, SWP_NOMOVE);
  return TRUE;
}

// Nothing of the background is drawn, so the slideshow's picture stays visible around the
// controls; the bar is drawn whole.
BOOL CVolumeDlg::OnEraseBkgnd(CDC* dc) {
  DrawBar(*dc, BarMode::Frame);
  DrawBar(*dc, BarMode::Level);
  SetTimer(kCloseTimer, kCloseAfterMs, nullptr);
  return TRUE;
}

void CVolumeDlg::DrawBar(CDC& dc, BarMode mode) {
  const int v = *m_pVolumeLevel;
  if (v < 0 || v > kMaxLevel) return;
  if (mode == BarMode::Frame) {
    BITMAP frame{};
    m_BarFrame.GetBitmap(&frame);
    Copy(dc, kBarX, kBarY, frame.bmWidth, frame.bmHeight, m_BarFrame, 0, 0);
    g_LastDrawnLevel = 0;
    return;
  }
  // The fill and the track are the same all along the bar, so both are always taken from
  // their start; only the part between the old and the new level is drawn.
  const int p = g_LastDrawnLevel;
  if (v == 0) {
    Copy(dc, kFillX, kFillY, kFillWidth, kFillHeight, m_BarFrame, kTrackX, kTrackY);
  } else if (v == kMaxLevel) {
    // 24 steps of 11 pixels are 5 more than the fill bitmap has: its start is used again.
    Copy(dc, kFillX, kFillY, kFillWidth, kFillHeight, m_BarFill, 0, 0);
    Copy(dc, kFillX + kFillWidth, kFillY, kMaxLevel * kLevelStep - kFillWidth, kFillHeight, m_BarFill, 0, 0);
  } else if (v > p) {
    Copy(dc, kFillX + kLevelStep * p, kFillY, (v - p) * kLevelStep, kFillHeight, m_BarFill, 0, 0);
  } else if (v < p) {
    Copy(dc, kFillX + kLevelStep * v, kFillY, (p - v) * kLevelStep, kFillHeight, m_BarFrame, kTrackX, kTrackY);
  }
  g_LastDrawnLevel = v;
}

BOOL CVolumeDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  if (id != kExit && id != kAdd && id != kDec && id != kPlay) return CDialog::OnCommand(wParam, lParam);
  m_SysParam.Beep();
  switch (id) {
    case kAdd: ChangeLevel(+1); break;
    case kDec: ChangeLevel(-1); break;
    case kPlay: TogglePlay(); break;
    default: OnCancel(); break;
  }
  return TRUE;
}

void CVolumeDlg::ChangeLevel(int step) {
  SetTimer(kCloseTimer, kCloseAfterMs, nullptr);
  int level = *m_pVolumeLevel + step;
  if (level > kMaxLevel) level = kMaxLevel;
  if (level < 0) level = 0;
  *m_pVolumeLevel = level;
  m_pPlayer->SetVolume(level);
  CClientDC dc(this);
  DrawBar(dc, BarMode::Level);
}

void CVolumeDlg::TogglePlay() {
  SetTimer(kCloseTimer, kCloseAfterMs, nullptr);
  if (m_pPlayer->Getsts() == kPlaying)
    m_pPlayer->Pause();
  else
    m_pPlayer->Play();
  ShowPlayState();
}

void CVolumeDlg::ShowPlayState() {
  if (m_pPlayer->Getsts() == kPlaying)
    m_PlayButton.Bind(this, kPlay, skin::kPauseUp, skin::kPauseDown);
  else
    m_PlayButton.Bind(this, kPlay, skin::kPlayUp, skin::kPlayDown);
  m_PlayButton.Invalidate(TRUE);
}

void CVolumeDlg::OnTimer(UINT_PTR id) {
  if (id != kCloseTimer) return CDialog::OnTimer(id);
  KillTimer(kCloseTimer);
  EndDialog(kVolumeTimedOut);
}

void CVolumeDlg::OnDestroy() {
  KillTimer(kCloseTimer);
  m_BarFrame.DeleteObject();
  m_BarFill.DeleteObject();
  CDialog::OnDestroy();
}
