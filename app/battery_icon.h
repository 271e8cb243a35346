// The battery indicator: one of six frames drawn over a patch of the background, blinking
// every 500 ms while the battery is nearly empty (state 2).
#pragma once

#include "platform/windows/afx.h"

class CBatteryIcon {
 public:
  static constexpr int kFrameCount = 6;
  static constexpr UINT kBlinkMs = 500;

  // Loads the bitmaps and enters the icon in the process-wide registry under its timer id.
  CBatteryIcon(CWnd* owner, UINT_PTR timerId, const UINT (&frameIds)[kFrameCount], UINT backgroundId, int srcX,
               int srcY, int x, int y);
  ~CBatteryIcon();
  CBatteryIcon(const CBatteryIcon&) = delete;
  CBatteryIcon& operator=(const CBatteryIcon&) = delete;

  // Chooses the frame for a battery state (states of 8 or more keep the last frame) and
  // starts the blinking for state 2; draws at once when redraw is nonzero.
  void SetState(LONG state, BOOL redraw);
  // The background patch, then the frame unless show is 0.
  void Draw(BOOL show);
  // The information dialog's redraw: restarts the blinking when shown in state 2.
  void Redraw(BOOL show);

  LONG State() const { return m_CurState; }
  LONG PreviousState() const { return m_PrevState; }
  int FrameIndex() const { return m_FrameIndex; }

 private:
  static void BlinkTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

  CWnd* m_pOwner;
  UINT_PTR m_TimerId;
  int m_X, m_Y;
  CBitmap m_Frames[kFrameCount];
  CBitmap m_Background;
  int m_SrcX, m_SrcY;
  int m_Width = 0, m_Height = 0;
  LONG m_CurState = 3;
  LONG m_PrevState = 5;
  int m_FrameIndex = 3;
};
