#include "skin/skin_button.h"

#include "res/resources.h"

BOOL CSkinButton::Bind(CWnd* dialog, int id, UINT up, UINT down) {
  InstallResources();
  if (!m_hWnd && !SubclassDlgItem(static_cast<UINT>(id), dialog)) return FALSE;
  return LoadBitmaps(up, down);
}

void CSkinButton::Place(int x, int y, int w, int h) {
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, w, h, SWP_SHOWWINDOW);
}
