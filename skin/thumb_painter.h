// The painter that draws thumbnails into the main page's cells: one process-wide object.
#pragma once

#include <vector>

#include "folders/photo_list.h"
#include "platform/gdi/gdi.h"

class CThumbPainter {
 public:
  // Made on first use, destroyed at process exit.
  static CThumbPainter& Instance();
  virtual ~CThumbPainter() = default;

  // Slots in their fixed order.
  // Remembers the context to draw into (the two rectangles are kept but not used).
  virtual void Begin(HDC dc, const RECT& first, const RECT& second, int flag);
  // Draws the entry into cell: the outline of the cell's rectangle with the context's pen and
  // brush, then the entry's thumbnail (if it has one) stretched into that rectangle. Nothing
  // for a cell outside the kept rectangles or an entry whose name begins with "<".
  virtual void DrawCell(int cell, PhotoEntry* entry);
  virtual void Layout1() {}
  virtual void Layout2() {}
  virtual void Layout3() {}
  // Keeps a copy of count cell rectangles.
  virtual void SetRects(const RECT* rects, int count);

  int CellCount() const { return static_cast<int>(m_Rects.size()); }

 private:
  HDC m_hDC = nullptr;
  RECT m_BeginRects[2] = {};
  std::vector<RECT> m_Rects;
};
