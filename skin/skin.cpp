#include "skin/skin.h"

#include <cstring>

#include "platform/device/framebuffer.h"
#include "platform/windows/resources.h"
#include "res/resources.h"

namespace {

bool Large(int w, int h) { return w >= kFreezeWidth && h >= kFreezeHeight; }

SIZE BitmapSize(CBitmap& bitmap) {
  BITMAP bm;
  if (!bitmap.GetBitmap(&bm)) return SIZE{};
  return SIZE{bm.bmWidth, bm.bmHeight};
}

// The window's context and a memory context holding the bitmap, for one drawing.
class BlitContexts {
 public:
  BlitContexts(CWnd* window, CBitmap& bitmap) : m_window(window ? window->m_hWnd : nullptr) {
    m_dc = ::GetDC(m_window);
    m_memory = CreateCompatibleDC(m_dc);
    m_old = SelectObject(m_memory, bitmap.m_hObject);
  }
  ~BlitContexts() {
    if (m_old) SelectObject(m_memory, m_old);
    DeleteDC(m_memory);
    ::ReleaseDC(m_window, m_dc);
  }
  bool Ready() const { return m_dc && m_old; }
  HDC m_dc;
  HDC m_memory;

 private:
  HWND m_window;
  HGDIOBJ m_old;
};

}  // namespace

void FreezeDisplay() {
  std::memcpy(GetShadowFrame(), GetVisibleFrame(), kFrameBytes);
  *GetFrameBaseRegister() = kShadowFramePhysical;
  AnnounceFrameChange();
}

void ReleaseDisplay() {
  *GetFrameBaseRegister() = kVisibleFramePhysical;
  AnnounceFrameChange();  // the finished drawing is shown at once
}

void LoadSkinBitmap(CBitmap& bitmap, UINT id) {
  InstallResources();
  bitmap.LoadBitmap(id);
}

void BlitBitmap(CWnd* window, int x, int y, int w, int h, int srcX, int srcY, CBitmap& bitmap) {
  if (w == 0 && h == 0) {
    const SIZE size = BitmapSize(bitmap);
    w = size.cx;
    h = size.cy;
  }
  if (Large(w, h)) FreezeDisplay();
  if (w != 0) {
    BlitContexts c(window, bitmap);
    if (c.Ready()) BitBlt(c.m_dc, x, y, w, h, c.m_memory, srcX, srcY, SRCCOPY);
  }
  ReleaseDisplay();
}

void BlitTransparent(CWnd* window, int x, int y, CBitmap& bitmap, COLORREF colour) {
  const SIZE size = BitmapSize(bitmap);
  if (Large(size.cx, size.cy)) FreezeDisplay();
  {
    BlitContexts c(window, bitmap);
    if (c.Ready()) TransparentImage(c.m_dc, x, y, size.cx, size.cy, c.m_memory, 0, 0, size.cx, size.cy, colour);
  }
  ReleaseDisplay();
}

void BlitStretched(CWnd* window, int x, int y, int w, int h, int srcX, int srcY, CBitmap& bitmap) {
  const SIZE size = BitmapSize(bitmap);
  if (Large(w, h)) FreezeDisplay();
  {
    BlitContexts c(window, bitmap);
    if (c.Ready()) StretchBlt(c.m_dc, x, y, w, h, c.m_memory, srcX, srcY, size.cx, size.cy, SRCCOPY);
  }
  ReleaseDisplay();
}

void DrawSkinText(CWnd* window, int x, int y, int w, int h, const WString& text, UINT format, COLORREF colour,
                  COLORREF background, int height) {
  HWND hwnd = window ? window->m_hWnd : nullptr;
  HDC dc = ::GetDC(hwnd);
  if (!dc) return;
  RECT box{x, y, x + w, y + h};
  if (background == 0) {
    SetBkMode(dc, TRANSPARENT);
  } else {
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, background);
  }
  SetTextColor(dc, colour);
  LOGFONTW lf;
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DRAFT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  const char16_t face[] = u"Arial";
  std::memcpy(lf.lfFaceName, face, sizeof face);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  DrawTextW(dc, text.c_str(), -1, &box, format);
  if (font) {
    SelectObject(dc, old);
    DeleteObject(font);
  }
  ::ReleaseDC(hwnd, dc);
}

int FitText(CWnd* window, int maxWidth, WString& text) {
  HWND hwnd = window ? window->m_hWnd : nullptr;
  HDC dc = ::GetDC(hwnd);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  if (size.cx <= maxWidth) {
    ::ReleaseDC(hwnd, dc);
    return -1;
  }
  int sum = 0;
  size_t cut = text.size();
  for (size_t i = 0; i < text.size(); ++i) {
    SIZE one{};
    GetTextExtentPoint32W(dc, &text[i], 1, &one);
    sum += one.cx;
    if (sum >= maxWidth) {
      cut = i;
      break;
    }
  }
  ::ReleaseDC(hwnd, dc);
  text.resize(cut);
  text += u"...";
  return 0;
}

int FitBracketedText(CWnd* window, WString& text, int maxWidth) {
  if (text.empty() || text[0] != u'<') return FitText(window, maxWidth, text);
  WString inner = text.size() >= 2 ? text.substr(1, text.size() - 2) : WString();
  const int result = FitText(window, maxWidth, inner);
  text = u"<" + inner + u">";
  return result;
}
