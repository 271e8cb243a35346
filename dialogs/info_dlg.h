// The photo information dialog (dialog 174): a preview of one photo of the folder on the
// left, six lines of its facts on the right, and an exit button. The main page runs it
// modally for the selected photo; it ends with kModalClosedByLauncher when the launcher
// closes the application, otherwise when its exit button is pressed.
#pragma once

#include "app/battery_icon.h"
#include "app/sys_param.h"
#include "folders/photo_list.h"
#include "decode/image_decoder.h"
#include "dialogs/info_facts.h"
#include "platform/media/player.h"
#include "platform/windows/afx.h"
#include "skin/skin_button.h"

class CInfoDlg : public CDialog {
 public:
  static constexpr int kExitButton = 1009;
  static constexpr UINT_PTR kDecodeTimer = 3;

  // Everything is lent by the main page and outlives the dialog; battery may be null.
  CInfoDlg(Cplayerc* player, CPhotoList* list, int index, CBatteryIcon* battery, CImageDecoder* decoder);

  BOOL OnInitDialog() override;
  void OnPaint() override;
  BOOL OnEraseBkgnd(CDC*) override { return FALSE; }
  void OnTimer(UINT_PTR id) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnDestroy() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  const InfoFacts& Facts() const { return m_Facts; }

 private:
  void DrawFirstPaint();
  // The preview, or the damaged-file picture when there is nothing to show; then the exit
  // button can be pressed.
  void DrawPreview(HDC dc);
  void DrawDamagedPicture();
  void OnLauncher(WPARAM code);

  Cplayerc* m_pPlayer;
  CPhotoList* m_pList;
  int m_Index;
  CBatteryIcon* m_pBatteryIcon;
  CImageDecoder* m_pDecoder;

  CBitmap m_Background;
  CBitmap m_Damaged;
  CSkinButton m_ExitButton;
  CSysParam m_SysParam;
  _tag_PHOTO_INFO m_PhotoInfo{};
  InfoFacts m_Facts;
  RECT m_PreviewBox{};
  UINT m_OpenResult = 0;
  BYTE m_FirstPaint = 1;
  BYTE m_DecodePending = 1;
  BYTE m_Suspended = 0;
};
