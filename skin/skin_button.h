// A skin button: the framework's bitmap button with an up and a down bitmap of the skin,
// bound to a button of the dialog's template and placed by pixel rectangle above every
// other window.
#pragma once

#include "platform/windows/afx.h"

class CSkinButton : public CBitmapButton {
 public:
  // Binds the button to control id of the dialog (once) and gives it its bitmaps.
  BOOL Bind(CWnd* dialog, int id, UINT up, UINT down);
  // Places the button on top of every other window and shows it.
  void Place(int x, int y, int w, int h);
};
