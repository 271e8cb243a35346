// The slideshow's picture thread and music thread.
#include "platform/device/framebuffer.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "slideshow/slide_picture.h"
#include "slideshow/sshow_dlg.h"

namespace {

constexpr DWORD kStopWaitMs = 200;

// Closes the event a member holds and clears the member.
void CloseEvent(std::atomic<HANDLE>& event) {
  if (HANDLE h = event.exchange(nullptr)) CloseHandle(h);
}
void CloseEvent(HANDLE& event) {
  if (event) CloseHandle(event);
  event = nullptr;
}

// Waits for a thread that has been told to end, 200 ms at a time, waking it again after each
// time-out.
void WaitForThreadEnd(HANDLE thread, HANDLE wake) {
  while (WaitForSingleObject(thread, kStopWaitMs) == WAIT_TIMEOUT) {
    printf(" WAIT_TIMEOUT...\r\n");
    SetEvent(wake);
  }
}

}  // namespace

// ---- Picture thread ------------------------------------------------------------------------

void CSshowDlg::StartPictureThread() {
  if (m_hPictureThread) return;
  g_SlideshowStop = 0;
  m_PictureExit = 0;
  m_EvLoad = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  m_EvTransition = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  m_EvWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  m_hPictureThread = CreateThread(nullptr, 0, PictureThread, this, 0, nullptr);
}

// Other code waits for the thread's handle to be cleared: it is cleared last.
void CSshowDlg::StopPictureThread() {
  std::lock_guard guard(m_PictureStopLock);
  HANDLE thread = m_hPictureThread;
  if (!thread) return;
  g_SlideshowStop = 1;
  m_PictureExit = 1;
  SetEvent(m_EvWake);
  WaitForThreadEnd(thread, m_EvWake);
  CloseHandle(thread);
  // The thread is gone, so nothing waits on its events any more; closing them only now keeps
  // every signal sent meanwhile on a live event.
  CloseEvent(m_EvLoad);
  CloseEvent(m_EvTransition);
  CloseEvent(m_EvWake);
  m_hPictureThread = nullptr;
}

DWORD CSshowDlg::PictureThread(LPVOID self) {
  static_cast<CSshowDlg*>(self)->RunPictureThread();
  return 0;
}

void CSshowDlg::RunPictureThread() {
  const HANDLE events[3] = {m_EvLoad, m_EvTransition, m_EvWake};
  for (;;) {
    printf("WaitForMultipleObjects\r\n ");
    const DWORD result = WaitForMultipleObjects(3, events, FALSE, INFINITE);
    printf(" dwResult = %d", static_cast<int>(result));
    if (result == WAIT_OBJECT_0) {
      NextPicture();
      LoadPicture();
      ResetEvent(events[0]);
    } else if (result == WAIT_OBJECT_0 + 1) {
      Transition();
      ResetEvent(events[1]);
    } else if (result == WAIT_OBJECT_0 + 2) {
      ::InvalidateRect(m_hWnd, nullptr, TRUE);
    } else {
      break;  // the events are gone
    }
    if (m_PictureExit) break;
  }
  printf(" thread exit!!\r\n");
}

// Steps to the next entry whose record can be read, wrapping from the last photo to the
// first; when none can be, the last one tried stays.
void CSshowDlg::NextPicture() {
  const int tries = m_LastIndex - m_FirstIndex + 2;
  _tag_PHOTO_INFO info{};
  int index = m_CurIndex;
  for (int i = 0; i < tries; ++i) {
    index = index + 1 > m_LastIndex ? m_FirstIndex : index + 1;
    info = _tag_PHOTO_INFO{};
    if (m_Player.GetPhotoInfo(&info, m_pList->GetName(index).c_str()) != -1) break;
  }
  m_CurIndex = index;
  m_PhotoWidth = info.Width;
  m_PhotoHeight = info.Height;
}

void CSshowDlg::LoadPicture() {
  const WString path = m_pList->GetName(m_CurIndex);
  std::lock_guard decoder(m_DecoderLock);
  LoadSlidePicture(*m_pDecoder, path.c_str(), m_PhotoWidth, m_PhotoHeight);
}

void CSshowDlg::Transition() {
  {
    std::lock_guard frame(m_FrameLock);
    // Once the stop flag is up the screen may already belong to the volume dialog.
    if (!g_SlideshowStop) RunTransition(m_EffectIndex);
  }
  m_EffectIndex = (m_EffectIndex + 1) % kEffectCount;
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

int CSshowDlg::RunTransition(int effect) {
  const EffectTarget target{GetVisibleFrame(), &m_Shown, &g_SlideshowStop, nullptr};
  return RunEffect(effect, target);
}

// ---- Music thread --------------------------------------------------------------------------

void CSshowDlg::StartMusicThread() {
  m_MusicExit = 0;
  m_EvNextTrack = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  m_EvMusicStop = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  m_hMusicThread = CreateThread(nullptr, 0, MusicThread, this, 0, nullptr);
}

// Ending the music thread also stops the picture thread: the thread handles the stop event
// before it sees its exit flag.
void CSshowDlg::EndMusic() {
  m_Player.Stop();
  m_Player.mp3Release();
  if (m_hMusicThread) {
    m_MusicExit = 1;
    SetEvent(m_EvMusicStop);
    WaitForThreadEnd(m_hMusicThread, m_EvMusicStop);
    CloseHandle(m_hMusicThread);
    m_hMusicThread = nullptr;
  }
  CloseEvent(m_EvNextTrack);
  CloseEvent(m_EvMusicStop);
}

DWORD CSshowDlg::MusicThread(LPVOID self) {
  static_cast<CSshowDlg*>(self)->RunMusicThread();
  return 0;
}

void CSshowDlg::RunMusicThread() {
  const HANDLE events[2] = {m_EvNextTrack, m_EvMusicStop};
  for (;;) {
    const DWORD result = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0) {
      // No track is started once the music is being ended.
      if (!m_MusicExit) m_Music.NextTrack();
    } else if (result == WAIT_OBJECT_0 + 1) {
      StopPictureThread();
    } else {
      break;
    }
    if (m_MusicExit) break;
  }
  printf(" thread exit!!\r\n");
}
