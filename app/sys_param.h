// Settings and the key-click sound of one screen. Building it reads the settings and starts
// the click worker; destroying it stops the worker (within about 200 ms, playing nothing).
#pragma once

#include <atomic>

#include "platform/kernel/types.h"
#include "store/settings.h"

class CSysParam {
 public:
  CSysParam();
  ~CSysParam();
  CSysParam(const CSysParam&) = delete;
  CSysParam& operator=(const CSysParam&) = delete;

  // What every button handler calls first: backlight request B with 1, then the click
  // sound when the settings switch it on.
  void Click();
  // The click sound alone, when switched on (the volume dialog's buttons).
  void Beep();

  std::int32_t ClickSwitch() const { return m_Settings.ClickSwitch(); }

 private:
  static DWORD ClickWorker(LPVOID self);

  CSettings m_Settings;
  HANDLE m_EvClick = nullptr;  // manual reset: reset only after the sound, so clicks meanwhile are absorbed
  HANDLE m_hClickThread = nullptr;
  std::atomic<DWORD> m_ExitFlag = 0;
};
