#include "skin/thumb_painter.h"

CThumbPainter& CThumbPainter::Instance() {
  static CThumbPainter painter;
  return painter;
}

void CThumbPainter::Begin(HDC dc, const RECT& first, const RECT& second, int) {
  m_hDC = dc;
  m_BeginRects[0] = first;
  m_BeginRects[1] = second;
}

void CThumbPainter::DrawCell(int cell, PhotoEntry* entry) {
  if (cell < 0 || cell >= CellCount() || !entry) return;
  const WString& name = entry->GetName();
  if (!name.empty() && name[0] == u'<') return;
  const RECT& r = m_Rects[static_cast<size_t>(cell)];
  Rectangle(m_hDC, r.left, r.top, r.right, r.bottom);
  if (IImage* image = entry->GetThumb()) image->Draw(m_hDC, &r, nullptr);
}

void CThumbPainter::SetRects(const RECT* rects, int count) {
  m_Rects.clear();
  if (rects && count > 0) m_Rects.assign(rects, rects + count);
}
