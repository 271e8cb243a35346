#include "dialogs/info_dlg.h"

#include "app/launcher.h"
#include "platform/kernel/debug.h"
#include "res/resources.h"
#include "skin/skin.h"

namespace {

constexpr int kLineX = 425;
constexpr int kLineTops[kInfoLineCount] = {40, 75, 110, 145, 180, 215};
constexpr int kLineWidth = 358, kLineHeight = 25, kTextHeight = 20;
constexpr COLORREF kTextColour = RGB(255, 255, 255);

constexpr int kScreenW = 800, kScreenH = 480;
constexpr int kExitX = 685, kExitY = 401, kButtonWidth = 100, kButtonHeight = 64;

// Where the damaged-file picture goes instead of the preview.
constexpr int kDamagedX = 18, kDamagedY = 75, kDamagedWidth = 400, kDamagedHeight = 250;

// The media library's mark for a file that no decoder takes.
constexpr WStringView kUndecodable = u"NON";

// The codes that close this dialog (code 2 closes only the main page).
bool ClosesInfo(WPARAM code) { return code == 20 || code == 32 || code == 34; }

WString RecordFormat(const _tag_PHOTO_INFO& record) {
  size_t length = 0;
  while (length < std::size(record.Format) && record.Format[length] != 0) ++length;
  return WString(record.Format, length);
}

}  // namespace

CInfoDlg::CInfoDlg(Cplayerc* player, CPhotoList* list, int index, CBatteryIcon* battery, CImageDecoder* decoder)
    : CDialog(IDD_INFO), m_pPlayer(player), m_pList(list), m_Index(index), m_pBatteryIcon(battery), m_pDecoder(decoder) {}

BOOL CInfoDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  LoadSkinBitmap(m_Background, skin::kInfoBackground);
  LoadSkinBitmap(m_Damaged, skin::kPlaceholder);
  m_ExitButton.Bind(this, kExitButton, skin::kInfoExitUp, skin::kInfoExitDown);
  m_Suspended = 0;
  m_FirstPaint = 1;
  m_DecodePending = 1;

  m_Facts.path = m_pList->GetName(m_Index);
  m_PhotoInfo = _tag_PHOTO_INFO{};
  m_pPlayer->GetPhotoInfo(&m_PhotoInfo, m_Facts.path.c_str());
  m_Facts.format = RecordFormat(m_PhotoInfo);
  m_Facts.width = m_PhotoInfo.Width;
  m_Facts.height = m_PhotoInfo.Height;
  m_Facts.colourDepth = m_PhotoInfo.BitDepth;
  m_Facts.file = ReadFileFacts(m_Facts.path.c_str());

  m_pDecoder->Close();
  m_OpenResult = m_pDecoder->Open(m_Facts.path.c_str(), static_cast<UINT>(m_Facts.width), static_cast<UINT>(m_Facts.height));
  if (m_OpenResult) {
    m_Facts.width = static_cast<int>(m_pDecoder->m_ImageInfo.Width);
    m_Facts.height = static_cast<int>(m_pDecoder->m_ImageInfo.Height);
  }
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, kScreenW, kScreenH, SWP_NOMOVE);
  return TRUE;
}

void CInfoDlg::OnPaint() {
  CPaintDC dc(this);
  if (m_Suspended) return;
  if (!m_FirstPaint) {
    DrawPreview(dc.m_hDC);
    return;
  }
  DrawFirstPaint();
  m_FirstPaint = 0;
  if (m_Facts.format != kUndecodable && m_OpenResult) {
    // The decode can take a while: it runs from a timer so that the facts show first.
    SetTimer(kDecodeTimer, 1, nullptr);
    return;
  }
  DrawDamagedPicture();
  m_ExitButton.EnableWindow(TRUE);
}

void CInfoDlg::DrawFirstPaint() {
  BlitBitmap(this, 0, 0, 0, 0, 0, 0, m_Background);
  const std::array<WString, kInfoLineCount> lines = InfoLines(this, m_Facts);
  for (int i = 0; i < kInfoLineCount; ++i)
    DrawSkinText(this, kLineX, kLineTops[i], kLineWidth, kLineHeight, lines[i], 0, kTextColour, 0, kTextHeight);
  m_ExitButton.Place(kExitX, kExitY, kButtonWidth, kButtonHeight);
  // The main page's icon must not blink through this screen.
  if (m_pBatteryIcon) m_pBatteryIcon->Redraw(0);
}

void CInfoDlg::DrawPreview(HDC dc) {
  const UINT w = m_pDecoder->m_ImageInfo.Width, h = m_pDecoder->m_ImageInfo.Height;
  if (m_pDecoder->IsDecoded() && w != 0 && h != 0) {
    const RECT rect = PreviewRect(w, h);
    printf("2.rendRect(%d,%d,%d,%d)\n", static_cast<int>(rect.left), static_cast<int>(rect.top),
           static_cast<int>(rect.right), static_cast<int>(rect.bottom));
    m_pDecoder->Draw(dc, &rect);
  } else {
    DrawDamagedPicture();
  }
  m_ExitButton.EnableWindow(TRUE);
}

void CInfoDlg::DrawDamagedPicture() {
  BlitStretched(this, kDamagedX, kDamagedY, kDamagedWidth, kDamagedHeight, 0, 0, m_Damaged);
}

void CInfoDlg::OnTimer(UINT_PTR id) {
  if (id != kDecodeTimer) {
    CDialog::OnTimer(id);
    return;
  }
  KillTimer(kDecodeTimer);
  if (m_DecodePending && m_Facts.width != 0 && m_Facts.height != 0 && m_OpenResult) m_pDecoder->Decode(0);
  m_DecodePending = 0;
  Invalidate(TRUE);
}

BOOL CInfoDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) != kExitButton) return CDialog::OnCommand(wParam, lParam);
  m_SysParam.Click();
  OnCancel();
  return TRUE;
}

LRESULT CInfoDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kLauncherMessage) {
    OnLauncher(wParam);
    return Default();
  }
  if (message == kHideMessage) {
    OnLauncher(kLauncherHide);
    return Default();
  }
  return CDialog::WindowProc(message, wParam, lParam);
}

void CInfoDlg::OnLauncher(WPARAM code) {
  if (ClosesInfo(code)) {
    EndDialog(kModalClosedByLauncher);
  } else if (code == kLauncherShow) {
    m_Suspended = 0;
    m_FirstPaint = 1;  // everything is drawn again
    m_ExitButton.ShowWindow(SW_SHOW);
    Invalidate(TRUE);
  } else if (code == kLauncherHide) {
    m_Suspended = 1;
    m_ExitButton.ShowWindow(SW_HIDE);
  }
}

void CInfoDlg::OnDestroy() {
  KillTimer(kDecodeTimer);
  m_Background.DeleteObject();
  m_Damaged.DeleteObject();
  CDialog::OnDestroy();
}
