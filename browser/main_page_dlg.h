// The main page: the program's home screen (dialog 102, window text "photo") with the
// background, the battery icon and six skin buttons. It answers the launcher's messages
// and tells the launcher when it has painted for the first time.
#pragma once

#include <atomic>
#include <memory>

#include "app/battery_icon.h"
#include "app/sys_param.h"
#include "platform/windows/afx.h"
#include "skin/skin_button.h"

class CMainPageDlg : public CDialog {
 public:
  static constexpr int kButtonCount = 6;
  enum ButtonId { kExit = 1009, kInfo = 1010, kNextPage = 1011, kPrevPage = 1012, kSlideshow = 1013, kFolderUp = 1014 };

  CMainPageDlg();
  ~CMainPageDlg() override;

  BOOL OnInitDialog() override;
  void OnPaint() override;
  BOOL OnEraseBkgnd(CDC*) override { return FALSE; }
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnDestroy() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  CBatteryIcon* BatteryIcon() { return m_pBatteryIcon.get(); }
  bool IsHidden() const { return m_Hidden != 0; }

 private:
  void OnLauncher(WPARAM code, LPARAM value);
  void ShowButtons(int command);
  void ClosePage();

  CBitmap m_Background;
  CSkinButton m_Buttons[kButtonCount];
  CSysParam m_SysParam;
  std::unique_ptr<CBatteryIcon> m_pBatteryIcon;
  std::atomic<BYTE> m_Hidden = 0;
  std::atomic<BYTE> m_PaintedOnce = 1;  // the next paint notifies the launcher
  std::atomic<BYTE> m_Ready = 1;
};
