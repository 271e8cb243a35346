// The main page: the program's home screen (dialog 102, window text "photo"). It shows the
// current folder as pages of eight cells in four columns and two rows, with the folder's
// title, a page counter, the battery icon and six skin buttons along the bottom.
//
// The thumbnail thread lists the folder and gets the thumbnails of the visible page, asking
// the window to repaint each cell as it is ready; all drawing happens on the window thread.
// The window thread asks for work only through two events (a new folder, a new page) and
// interrupts work in progress with the abort flag. Values the two threads share are atomic;
// the listing is guarded by the list's Hold (folders/photo_list.h), the folder path by its
// own lock.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "app/battery_icon.h"
#include "app/sys_param.h"
#include "folders/photo_list.h"
#include "decode/image_decoder.h"
#include "platform/media/player.h"
#include "platform/windows/afx.h"
#include "skin/skin_button.h"

class CMainPageDlg : public CDialog {
 public:
  static constexpr int kButtonCount = 6;
  enum ButtonId { kExit = 1009, kInfo = 1010, kNextPage = 1011, kPrevPage = 1012, kSlideshow = 1013, kFolderUp = 1014 };
  static constexpr int kKindCacheSlots = 999;  // grown when a folder has more entries
  enum Kind : LONG { kKindUnknown = 0, kKindPhoto = 1, kKindOther = 2 };

  CMainPageDlg();
  ~CMainPageDlg() override;

  BOOL OnInitDialog() override;
  void OnPaint() override;
  BOOL OnEraseBkgnd(CDC*) override { return FALSE; }
  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnTimer(UINT_PTR id) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnDestroy() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Cell c's touch area and frame position, and where its thumbnail goes.
  static RECT OuterCell(int cell);
  static RECT InnerCell(int cell);

  // State for the screens the page runs and for tests.
  CBatteryIcon* BatteryIcon() { return m_pBatteryIcon.get(); }
  CPhotoList* PhotoList() { return m_pPhotoList.get(); }
  CImageDecoder* Decoder() { return m_pDecoder.get(); }
  Cplayerc* Player() { return &m_Player; }
  CSysParam* SysParam() { return &m_SysParam; }
  WString CurrentFolder() const;
  bool IsHidden() const { return m_Hidden != 0; }
  LONG CurPage() const { return m_CurPage; }
  LONG PageCount() const { return m_PageCount; }
  LONG EntryCount() const { return m_EntryCount; }
  LONG SelectedIndex() const { return m_SelectedIndex; }
  // True when the thumbnail thread has nothing to do: it finished its page and neither
  // event asks for more.
  bool IsThumbThreadIdle() const;

  // The time of the last touch that selected a cell (process-wide; 0 at start).
  static DWORD LastSelectingTouch();
  static void SetLastSelectingTouch(DWORD tick);

 protected:
  // The list the page browses with; tests give their own.
  virtual CPhotoList* NewPhotoList();
  // Runs a screen modally over the page. Meanwhile the page does not paint, so that its kind
  // test never uses the decoder under the screen's feet.
  INT_PTR RunScreen(CDialog& screen);

 private:
  // The thumbnail thread (browser/thumb_thread.cpp).
  static DWORD ThumbDecThread(LPVOID self);
  void RunThumbThread();
  void ListFolder();
  void ProcessPage();
  void AnnounceCell(LONG index);
  void StopThread();

  // Painting (browser/main_page_paint.cpp).
  void PaintPage(CPaintDC& dc);
  void PaintHeader();
  void PaintCellWithoutThumb(int index);
  LONG KindOf(int index);
  LONG TestKind(int index);
  void DrawFrame(int index, CBitmap& frame);
  void ChangeSelection(LONG index);

  // Handlers.
  void OnLauncher(WPARAM code, LPARAM value);
  void OnFolderUp();
  void OnPrevPage();
  void OnNextPage();
  void OnSlideshow();
  void OnInfo();
  void OpenPhoto(int index);
  // After a screen that had the list: the thread goes on with the page of `index`, which is
  // selected, and the whole page is painted again.
  void ResumeAt(LONG index);
  void OpenFolder(const WString& name);
  void ShowButtons(int command);
  void ClosePage();
  void MoveFolder(const WString& entryName);

  // Skin.
  CBitmap m_Background;
  CBitmap m_FolderPicture;
  CBitmap m_Placeholder;
  CBitmap m_Frame;
  CBitmap m_FrameSelected;
  CSkinButton m_Buttons[kButtonCount];
  CSysParam m_SysParam;
  Cplayerc m_Player;

  // Created in the initialisation, deleted on destroy.
  std::unique_ptr<CPhotoList> m_pPhotoList;
  std::unique_ptr<CImageDecoder> m_pDecoder;
  std::unique_ptr<CBatteryIcon> m_pBatteryIcon;

  // The current folder: written by the window thread, read by both.
  mutable std::mutex m_FolderLock;
  WString m_FolderPath;

  // The thumbnail thread and its work requests.
  HANDLE m_hThumbThread = nullptr;
  HANDLE m_EvThumbDecNew = nullptr;   // manual reset, starts signalled: list the folder again
  HANDLE m_EvThumbDecPage = nullptr;  // manual reset: process the current page

  // Page state shared by the two threads.
  std::atomic<LONG> m_PageCount = 0;
  std::atomic<LONG> m_CurPage = 0;
  std::atomic<LONG> m_EntryCount = 0;
  std::atomic<LONG> m_SelectedIndex = 0;
  std::atomic<LONG> m_PendingSelection = -1;  // selected when the thread next processes a page
  std::atomic<LONG> m_LastUpdated = -1;       // the cell the thread last announced; -1 the whole page
  // Cells (bit per cell of the announced index's page) announced since the last paint: a paint
  // can come after several announcements and then draws each of them.
  std::atomic<DWORD> m_AnnouncedCells = 0;
  std::atomic<DWORD> m_AbortFlag = 0;
  std::atomic<DWORD> m_ExitFlag = 0;
  std::atomic<BYTE> m_PageDone = 0;
  std::atomic<BYTE> m_Hidden = 0;
  std::atomic<BYTE> m_PaintedOnce = 1;  // the next paint notifies the launcher
  std::atomic<BYTE> m_Ready = 1;        // handlers act only while 1; each paint sets it
  std::atomic<BYTE> m_BackFromInfo = 0;
  BYTE m_ScreenOver = 0;  // window thread only: a screen runs over the page

  // Kind of each entry (Kind); read and written under the list's Hold.
  std::vector<LONG> m_KindCache;

  RECT m_OuterRects[kCellsPerPage] = {};
  RECT m_InnerRects[kCellsPerPage] = {};
  int m_InnerWidth = 0;
  int m_InnerHeight = 0;
};
