// The slideshow screen (dialog 172): the photos of the current folder one after another, each
// fitted to the whole screen for 3 seconds and wiped to black by the next transition effect,
// with the card's music playing behind. A double tap opens the volume dialog; the slideshow
// goes on when that closes itself and ends when its back button is used. The main page runs
// it modally and afterwards takes CurrentIndex(), the picture that would have come next.
//
// Three threads:
// - the window thread paints straight into the frame buffer and handles touches, timer 6
//   and the messages of the launcher and the player;
// - the picture thread loads the next picture while the current one is shown (load event),
//   runs the effect when the 3 seconds are over (transition event) and asks for a repaint
//   (wake event);
// - the music thread starts the next track when one has ended, and stops the picture thread
//   when asked (stop event) so that the window thread can show the volume dialog meanwhile.
// Threads are told what to do through events and stopped with an exit flag; the process-wide
// stop flag makes a running effect end at once.
#pragma once

#include <atomic>
#include <mutex>

#include "folders/photo_list.h"
#include "decode/image_decoder.h"
#include "platform/media/player.h"
#include "platform/windows/afx.h"
#include "slideshow/background_music.h"
#include "slideshow/effects.h"

// Raised while the slideshow's picture thread must stop; cleared when it is started.
extern StopFlag g_SlideshowStop;

class CSshowDlg : public CDialog {
 public:
  static constexpr UINT_PTR kTransitionTimer = 6;
  static constexpr UINT kShowMs = 3000;
  static constexpr UINT kPlayerNotify = WM_USER + 100;

  // The list, the decoder and the photo range [first, last] are the main page's and outlive
  // the dialog; the show starts at startIndex, or at first when that comes before it.
  CSshowDlg(CPhotoList* list, int startIndex, int firstIndex, int lastIndex, CImageDecoder* decoder);
  ~CSshowDlg() override;

  BOOL OnInitDialog() override;
  void OnPaint() override;
  BOOL OnEraseBkgnd(CDC*) override { return FALSE; }
  void OnTimer(UINT_PTR id) override;
  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnDestroy() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The entry of the picture loaded last: while a picture is shown, the one after it.
  int CurrentIndex() const { return m_CurIndex; }
  // The entry of the picture on the screen, -1 before the first.
  int ShownIndex() const { return m_ShownIndex; }
  Cplayerc& Player() { return m_Player; }
  int VolumeLevel() { return m_Music.VolumeLevel(); }
  int MusicIndex() const { return m_Music.MusicIndex(); }
  bool IsPaused() const { return m_ResumePending != 0; }

 protected:
  // Runs transition effect k over the screen; on the picture thread.
  virtual int RunTransition(int effect);
  // Called on the window thread each time a picture has been drawn (tests and the
  // benchmark follow the show through it).
  virtual void OnPictureShown() {}

 private:
  // Picture thread (slideshow/sshow_threads.cpp).
  static DWORD PictureThread(LPVOID self);
  void RunPictureThread();
  void StartPictureThread();
  void StopPictureThread();
  void NextPicture();
  void LoadPicture();
  void Transition();
  // Music thread.
  static DWORD MusicThread(LPVOID self);
  void RunMusicThread();
  void StartMusicThread();
  void EndMusic();

  void ReadPhotoSize(int index);
  void OpenVolumeDialog();
  void Interrupt();
  void OnLauncher(WPARAM code);
  void OnPlayerNotify();

  CPhotoList* m_pList;
  CImageDecoder* m_pDecoder;
  int m_StartIndex;
  int m_FirstIndex;
  int m_LastIndex;

  Cplayerc m_Player;
  CBackgroundMusic m_Music{m_Player};  // the music list and index, and the volume level

  std::atomic<int> m_CurIndex{0};  // stepped on the picture thread
  std::atomic<int> m_ShownIndex{-1};  // written on the window thread
  int m_PhotoWidth = 0;            // the record of the picture to load
  int m_PhotoHeight = 0;
  ShownSize m_Shown;       // the picture on the screen, for the effects
  int m_EffectIndex = 0;   // the next effect; picture thread
  BYTE m_FirstPaint = 1;
  std::atomic<BYTE> m_ResumePending{0};  // read by tests from other threads
  BYTE m_VolumeDialogUp = 0;
  int m_SavedPlayState = 0;
  DWORD m_LastTouch = 0;

  // The decoder is loaded on the picture thread and drawn on the window thread.
  std::mutex m_DecoderLock;
  // Held while an effect writes the frame buffer, so that the window thread can wait for a
  // stopped effect to put down its last step before it draws there.
  std::mutex m_FrameLock;
  // Stopping the picture thread can be asked by the window and the music thread at once.
  std::mutex m_PictureStopLock;

  std::atomic<HANDLE> m_hPictureThread{nullptr};
  std::atomic<HANDLE> m_EvLoad{nullptr};        // manual reset: load the next picture
  std::atomic<HANDLE> m_EvTransition{nullptr};  // manual reset: run the next effect
  std::atomic<HANDLE> m_EvWake{nullptr};        // auto reset: repaint
  std::atomic<DWORD> m_PictureExit{0};

  HANDLE m_hMusicThread = nullptr;
  HANDLE m_EvNextTrack = nullptr;  // auto reset: a track has ended
  HANDLE m_EvMusicStop = nullptr;  // auto reset: stop the picture thread
  std::atomic<DWORD> m_MusicExit{0};
};
