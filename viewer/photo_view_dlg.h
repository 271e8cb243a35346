// The photo view (dialog 148): one photo of the current folder in a frame above seven skin
// buttons (previous, next, turn, original, zoom in, zoom out, exit), with wrap-around from the
// last photo to the first and back, dragging at zoomed levels and a full-screen mode that a
// double tap switches on and off.
//
// A worker thread of the dialog opens and decodes the photos; the window thread draws them.
// The worker waits on three auto-reset events: open (the photo at the current index), redraw
// and exit. Previous and next only change the index and signal the open event, so presses
// that come during an open are merged into one further open of the latest index. The two
// threads share the decoder and the view geometry under one lock, which the worker holds
// for a whole open; the window thread only ever tries it, and leaves out what it would have
// drawn or changed while an open runs (the worker asks for a repaint when it is done), so
// the window never waits for a decode.
#pragma once

#include <atomic>
#include <mutex>

#include "app/sys_param.h"
#include "folders/photo_list.h"
#include "decode/image_decoder.h"
#include "platform/media/player.h"
#include "platform/windows/afx.h"
#include "skin/skin_button.h"
#include "viewer/view_geometry.h"

class CPhotoViewDlg : public CDialog {
 public:
  static constexpr int kButtonCount = 7;
  enum ControlId {
    kExit = 1000,
    kPictureFrame = 1002,
    kZoomOut = 1015,
    kZoomIn = 1016,
    kOriginal = 1017,
    kRotate = 1018,
    kNext = 1019,
    kPrevious = 1020,
  };
  static constexpr UINT_PTR kDrawTimer = 2;

  // The main page lends everything; the view owns none of it. first..last is the inclusive
  // range of photo entries that previous and next go round.
  CPhotoViewDlg(Cplayerc* player, CPhotoList* list, CSysParam* sysParam, int index, int first, int last,
                CImageDecoder* decoder);
  ~CPhotoViewDlg() override;

  // The entry index of the photo shown last; the main page reads it after the dialog ends.
  int CurrentIndex() const { return m_CurrentIndex; }

  BOOL OnInitDialog() override;
  BOOL OnEraseBkgnd(CDC* dc) override;
  void OnPaint() override;
  void OnTimer(UINT_PTR id) override;
  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnMouseMove(UINT flags, CPoint point) override;
  void OnLButtonUp(UINT flags, CPoint point) override;
  void OnDestroy() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // For tests and benchmarks, from any thread.
  int ErrorState() const { return m_ErrorState; }
  bool IsBusy() const { return m_Busy != 0; }
  bool IsReady() const { return m_Ready != 0; }
  bool IsFullScreen() const { return m_FullScreenShown != 0; }
  // True while an open or a redraw that was asked for has not been done, or the photo's
  // drawing is still due.
  bool IsWorkPending() const;
  // How many times the photo has been drawn into the frame so far.
  DWORD DrawCount() const { return m_DrawCount; }
  // A copy of the view state, taken under the lock (it waits for an open to end).
  CPhotoViewGeometry Geometry() const;

 private:
  using PhotoLock = std::unique_lock<std::mutex>;
  // The lock if no open holds it (the window thread never waits for one).
  PhotoLock TryLockPhoto() const { return PhotoLock(m_PhotoLock, std::try_to_lock); }

  // The worker (photo_view_worker.cpp).
  static DWORD WorkerThread(LPVOID self);
  DWORD WorkerLoop();
  void OpenPhoto();
  void StartWorker();
  void StopWorker();
  void AskOpen();

  // The window thread.
  void CreateButtons();
  void ShowButtons(int command);
  void OnStep(int step);
  void OnRotate();
  void OnOriginal();
  void OnZoom(bool in);
  void CommonRedraw();
  void ToggleFullScreen();
  void DrawPhotoInFrame();

  // Lent by the main page.
  Cplayerc* m_pPlayer;
  CPhotoList* m_pList;
  CSysParam* m_pSysParam;
  CImageDecoder* m_pDecoder;

  std::atomic<int> m_CurrentIndex;
  const int m_FirstIndex;
  const int m_LastIndex;
  std::atomic<int> m_ErrorState = 0;
  std::atomic<BYTE> m_Busy = 0;
  std::atomic<BYTE> m_Ready = 0;
  std::atomic<BYTE> m_FirstPaintDone = 0;
  std::atomic<BYTE> m_PhotoOpened = 0;   // an open has ended (with a photo or an error)
  std::atomic<BYTE> m_ClearPending = 0;  // the worker asks the next paint to clear the view first
  std::atomic<BYTE> m_FullScreenShown = 0;
  std::atomic<DWORD> m_ExitFlag = 0;

  // Guards the decoder and m_Geometry between the two threads.
  mutable std::mutex m_PhotoLock;
  CPhotoViewGeometry m_Geometry;

  // The worker closes its events before it ends; the window thread may still signal them.
  std::atomic<HANDLE> m_EvOpen = nullptr;
  std::atomic<HANDLE> m_EvRedraw = nullptr;
  std::atomic<HANDLE> m_EvExit = nullptr;
  HANDLE m_hThread = nullptr;
  HWND m_hDialog = nullptr;  // for the worker's invalidations

  // Requests and what the worker has done of them, for IsWorkPending.
  std::atomic<DWORD> m_OpenAsks = 0;
  std::atomic<DWORD> m_OpensDone = 0;
  std::atomic<DWORD> m_RedrawAsks = 0;
  std::atomic<DWORD> m_RedrawsDone = 0;
  std::atomic<BYTE> m_TimerRunning = 0;
  std::atomic<DWORD> m_DrawCount = 0;

  DWORD m_LastTouchTime = 0;  // for the double tap
  CBitmap m_Background;
  CBitmap m_Damaged;
  CBitmap m_TooLarge;
  CWnd m_PictureFrame;
  CSkinButton m_Buttons[kButtonCount];
};
