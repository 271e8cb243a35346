// The photo view's worker thread: it opens and decodes the photo at the current index when
// asked, so that the window thread stays free to answer touches and buttons.
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "viewer/open_size.h"
#include "viewer/photo_view_dlg.h"

namespace {

// Lets a burst of previous/next presses settle on one photo before the open starts.
constexpr DWORD kOpenDelayMs = 50;

}  // namespace

void CPhotoViewDlg::StartWorker() {
  m_ExitFlag = 0;
  ++m_OpenAsks;  // the open event starts signalled: the photo at the given index opens at once
  m_EvOpen = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  m_EvRedraw = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  m_EvExit = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  m_hThread = CreateThread(nullptr, 0, WorkerThread, this, 0, nullptr);
  if (!m_hThread) {
    // Without a worker nothing is opened; the view still answers its buttons.
    for (std::atomic<HANDLE>* event : {&m_EvOpen, &m_EvRedraw, &m_EvExit})
      if (HANDLE h = event->exchange(nullptr)) CloseHandle(h);
    m_OpensDone = m_OpenAsks.load();
  }
}

void CPhotoViewDlg::StopWorker() {
  if (!m_hThread) return;
  m_ExitFlag = 1;
  if (HANDLE exit = m_EvExit) SetEvent(exit);
  DWORD waited = WaitForSingleObject(m_hThread, 200);
  while (waited == WAIT_TIMEOUT) {
    printf(" WAIT_TIMEOUT...\r\n");
    if (HANDLE exit = m_EvExit) SetEvent(exit);
    waited = WaitForSingleObject(m_hThread, 200);
  }
  CloseHandle(m_hThread);
  m_hThread = nullptr;
}

void CPhotoViewDlg::AskOpen() {
  ++m_OpenAsks;
  if (HANDLE open = m_EvOpen) SetEvent(open);
}

DWORD CPhotoViewDlg::WorkerThread(LPVOID self) { return static_cast<CPhotoViewDlg*>(self)->WorkerLoop(); }

DWORD CPhotoViewDlg::WorkerLoop() {
  for (;;) {
    const HANDLE events[3] = {m_EvOpen, m_EvRedraw, m_EvExit};
    const DWORD woke = WaitForMultipleObjects(3, events, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0) {
      m_Busy = 1;
      // Every press made up to now is served by this open (presses during the delay change
      // the index it opens).
      const DWORD asks = m_OpenAsks;
      Sleep(kOpenDelayMs);
      if (!m_ExitFlag) OpenPhoto();
      m_OpensDone = asks;
      m_Busy = 0;
    } else if (woke == WAIT_OBJECT_0 + 1) {
      const DWORD asks = m_RedrawAsks;
      Sleep(1);
      ::InvalidateRect(m_hDialog, nullptr, TRUE);
      m_RedrawsDone = asks;
    } else if (woke != WAIT_OBJECT_0 + 2) {
      break;  // the wait itself failed: nothing can wake this thread any more
    }
    if (m_ExitFlag) break;
  }
  printf(" thread exit!!\r\n");
  for (std::atomic<HANDLE>* event : {&m_EvOpen, &m_EvRedraw, &m_EvExit})
    if (HANDLE h = event->exchange(nullptr)) CloseHandle(h);
  return 0;
}

void CPhotoViewDlg::OpenPhoto() {
  const DWORD start = GetTickCount();
  int error = kPhotoShown;
  {
    std::lock_guard lock(m_PhotoLock);
    const WString path = m_pList->GetName(m_CurrentIndex);
    m_pDecoder->Close();
    m_Geometry.ResetView();
    m_ErrorState = kPhotoShown;

    _tag_PHOTO_INFO info{};
    m_pPlayer->GetPhotoInfo(&info, path.c_str());
    DWORD width = 0, height = 0;
    error = ChooseOpenSize(info.Width, info.Height, &width, &height);
    if (error == kPhotoShown && !m_pDecoder->Open(path.c_str(), width, height)) error = kPhotoDamaged;

    // A view that closes meanwhile does not wait for the decode, nor for what is left of it.
    if (error == kPhotoShown && !m_ExitFlag) {
      HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
      m_pDecoder->SetCancelFlag(&m_ExitFlag);
      m_pDecoder->Decode(0);
      m_pDecoder->SetCancelFlag(nullptr);
      SetCursor(previous);
      if (m_pDecoder->IsDecoded()) {
        m_Geometry.CalcRectRotateImg(*m_pDecoder);
      } else {
        m_ErrorState = kPhotoDamaged;
      }
      m_Geometry.m_ZoomLevel = kDefaultZoomLevel;
      m_ClearPending = 1;
    }
    if (error != kPhotoShown) m_ErrorState = error;
    m_PhotoOpened = 1;
  }
  // Asked for only now that the lock is free, so that the paint can draw what was opened.
  if (error != kPhotoShown || m_ErrorState != kPhotoShown) ::InvalidateRect(m_hDialog, nullptr, TRUE);
  if (error == kPhotoShown) ::InvalidateRect(m_hDialog, nullptr, FALSE);
  if (error != kPhotoShown) printf(" ImageOpen GetTickCount = %d\r\n", static_cast<int>(GetTickCount() - start));
}
