// The main page's thumbnail thread: lists the folder when asked and gets the thumbnails of
// the visible page, announcing each cell to the window as it is ready.
#include <algorithm>

#include "browser/main_page_dlg.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr DWORD kStartDelayMs = 500;
constexpr DWORD kYieldMs = 1;  // after each new thumbnail, so that the window stays responsive
constexpr DWORD kStopWaitMs = 200;

}  // namespace

DWORD CMainPageDlg::ThumbDecThread(LPVOID self) {
  static_cast<CMainPageDlg*>(self)->RunThumbThread();
  printf(" ..............ThumbDecThreads exit\r\n");
  return 0;
}

void CMainPageDlg::RunThumbThread() {
  Sleep(kStartDelayMs);
  if (m_ExitFlag) return;
  for (;;) {
    HANDLE events[2] = {m_EvThumbDecNew, m_EvThumbDecPage};
    DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    m_PageDone = 0;  // busy from here, the listing included
    m_AbortFlag = 0;
    if (m_ExitFlag) return;
    if (woken == WAIT_OBJECT_0) ListFolder();
    ProcessPage();
    if (m_ExitFlag) return;
  }
}

void CMainPageDlg::ListFolder() {
  printf(" m_EvThumbDecNew...prrocessing\r\n");
  // Reset before the path is read: a folder change that comes during the listing signals
  // again and is listed next time round.
  ResetEvent(m_EvThumbDecNew);
  m_pPhotoList->Fill(CurrentFolder());
  CPhotoList::Hold hold(*m_pPhotoList);
  LONG count = m_pPhotoList->GetCount();
  m_CurPage = 0;
  m_EntryCount = count;
  m_SelectedIndex = 0;
  m_PageCount = ::PageCount(count);
  m_KindCache.assign(std::max<size_t>(kKindCacheSlots, static_cast<size_t>(count)), kKindUnknown);
}

void CMainPageDlg::ProcessPage() {
  printf(" m_EvThumbDecPage...prrocessing\r\n");
  LONG pending = m_PendingSelection;
  LONG page = m_CurPage;
  if (pending != -1) {
    m_SelectedIndex = pending;
    m_PendingSelection = -1;
  } else {
    m_SelectedIndex = kCellsPerPage * page;
  }
  printf("  ThumbDecThreads: m_CurPage = %d\r\n", static_cast<int>(page));
  m_PageDone = 0;

  for (LONG i = kCellsPerPage * page; i < kCellsPerPage * (page + 1); ++i) {
    if (i < m_EntryCount && m_pPhotoList->NeedsThumb(i)) {
      m_pPhotoList->LoadThumb(i);
      printf(".");
      m_pPhotoList->MakeThumb(i);
      AnnounceCell(i);
      Sleep(kYieldMs);
    } else {
      AnnounceCell(i);
    }
    if (m_AbortFlag || m_ExitFlag) break;
  }

  m_PageDone = 1;
  if (!m_AbortFlag) {
    ResetEvent(m_EvThumbDecPage);
    // A page turn between the test and the reset must not be lost.
    if (m_AbortFlag) SetEvent(m_EvThumbDecPage);
  }
  m_AbortFlag = 0;
}

void CMainPageDlg::AnnounceCell(LONG index) {
  m_LastUpdated = index;
  m_AnnouncedCells |= 1u << CellOf(index);
  ::InvalidateRect(m_hWnd, &m_InnerRects[CellOf(index)], FALSE);
}

void CMainPageDlg::StopThread() {
  if (!m_hThumbThread) return;
  m_ExitFlag = 1;
  SetEvent(m_EvThumbDecPage);
  while (WaitForSingleObject(m_hThumbThread, kStopWaitMs) == WAIT_TIMEOUT) SetEvent(m_EvThumbDecPage);
  CloseHandle(m_hThumbThread);
  m_hThumbThread = nullptr;
}
