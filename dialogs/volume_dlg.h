// The volume and music dialog (dialog 189) that the slideshow opens on a double tap: four
// buttons and a volume bar along the bottom of the screen, over the slideshow's picture.
//
// "ADD" and "DEC" change the slideshow's volume level (0..24) in place and tell the player,
// "PLAY" pauses or resumes the music, "EXIT" closes the dialog with IDCANCEL, which ends the
// slideshow. Left alone for 4 seconds the dialog closes itself with kVolumeTimedOut, and the
// slideshow goes on. Every button and every erase of the background restarts that time.
#pragma once

#include "app/sys_param.h"
#include "platform/media/player.h"
#include "platform/windows/afx.h"
#include "skin/skin_button.h"

// The result of a dialog that closed itself after 4 seconds without a touch.
constexpr int kVolumeTimedOut = 8893;

class CVolumeDlg : public CDialog {
 public:
  enum ButtonId { kExit = 1009, kAdd = 1013, kDec = 1014, kPlay = 1015 };
  static constexpr UINT_PTR kCloseTimer = 4;
  static constexpr UINT kCloseAfterMs = 4000;
  static constexpr int kMaxLevel = 24;
  // The bar: the frame bitmap at (kBarX, kBarY); the fill begins where the frame's track does.
  static constexpr int kBarX = 226, kBarY = 400;
  static constexpr int kTrackX = 80, kTrackY = 10;  // inside the frame bitmap
  static constexpr int kFillX = kBarX + kTrackX, kFillY = kBarY + kTrackY;
  static constexpr int kFillWidth = 259, kFillHeight = 36;
  // Pixels of fill per level: 25 levels share the 259 pixels of the track, rounded up.
  static constexpr int kLevelStep = static_cast<int>(kFillWidth / 25.0) + 1;

  // Both are the slideshow's and outlive the dialog; the level is changed in place.
  CVolumeDlg(Cplayerc* player, int* volumeLevel);

  BOOL OnInitDialog() override;
  BOOL OnEraseBkgnd(CDC* dc) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnTimer(UINT_PTR id) override;
  void OnDestroy() override;

  // How much fill is on the screen: the level the bar was last drawn at, shared by every
  // dialog of the process (0 at start, and after the frame is drawn).
  static int LastDrawnLevel();

 private:
  enum class BarMode { Frame, Level };
  void DrawBar(CDC& dc, BarMode mode);
  void ChangeLevel(int step);
  void TogglePlay();
  // The pause symbol while the music plays, the play symbol otherwise.
  void ShowPlayState();

  Cplayerc* m_pPlayer;
  int* m_pVolumeLevel;
  CSkinButton m_ExitButton;
  CSkinButton m_DecButton;
  CSkinButton m_AddButton;
  CSkinButton m_PlayButton;
  CBitmap m_BarFrame;
  CBitmap m_BarFill;
  CSysParam m_SysParam;
};
