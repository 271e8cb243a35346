// Device contexts, objects and the 565 drawing operations.
#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "platform/device/framebuffer.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/kernel/lasterror.h"

namespace {

std::unordered_set<const void*>& LiveObjects() {
  static std::unordered_set<const void*> live;
  return live;
}

template <typename T>
T* Track(T* object) {
  LiveObjects().insert(object);
  return object;
}

GdiObject* AsObject(HGDIOBJ object) {
  return object && LiveObjects().count(object) ? object : nullptr;
}

std::unordered_set<const void*>& LiveDCs() {
  static std::unordered_set<const void*> live;
  return live;
}

template <typename T>
T* As(HGDIOBJ object, GdiKind kind) {
  GdiObject* o = AsObject(object);
  return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}

GdiBitmap* AsBitmap(HGDIOBJ object) { return As<GdiBitmap>(object, GdiKind::Bitmap); }

// Pixels of the visible frame (with the memory after it) or of the shadow frame.
bool IsFrameMemory(const WORD* pixels) {
  const auto inside = [pixels](const WORD* start, size_t bytes) {
    return pixels >= start && pixels < start + bytes / sizeof(WORD);
  };
  return pixels && (inside(GetVisibleFrame(), kFrameMemoryBytes) || inside(GetShadowFrame(), kFrameBytes));
}

struct StockObjects {
  GdiBrush brushes[6];
  GdiPen pens[3];
  GdiFont systemFont;
  StockObjects() {
    const COLORREF shades[5] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128), RGB(64, 64, 64),
                                RGB(0, 0, 0)};
    for (int i = 0; i < 6; ++i) {
      brushes[i].stock = true;
      if (i < 5) brushes[i].colour = shades[i];
      brushes[i].hollow = i == 5;
      LiveObjects().insert(&brushes[i]);
    }
    const COLORREF penColours[3] = {RGB(255, 255, 255), RGB(0, 0, 0), RGB(0, 0, 0)};
    for (int i = 0; i < 3; ++i) {
      pens[i].stock = true;
      pens[i].colour = penColours[i];
      pens[i].style = i == 2 ? PS_NULL : PS_SOLID;
      LiveObjects().insert(&pens[i]);
    }
    systemFont.stock = true;
    systemFont.logFont.lfHeight = kDefaultFontHeight;
    systemFont.logFont.lfWeight = FW_NORMAL;
    LiveObjects().insert(&systemFont);
  }
};

StockObjects& Stock() {
  static StockObjects* stock = new StockObjects;  // lives to the end of the process
  return *stock;
}

// A memory context with no bitmap of its own draws into this one-pixel bitmap.
GdiBitmap& DefaultBitmap() {
  static GdiBitmap* bitmap = [] {
    auto* b = new GdiBitmap;
    b->stock = true;
    b->owned.assign(1, 0);
    b->surface = {b->owned.data(), 1, 1, 1};
    b->widthBytes = 2;
    LiveObjects().insert(b);
    return b;
  }();
  return *bitmap;
}

void Select(GdiObject*& slot, GdiObject* object) {
  if (slot) --slot->selections;
  slot = object;
  if (slot) ++slot->selections;
}

template <typename T>
void SelectTyped(T*& slot, T* object) {
  GdiObject* s = slot;
  Select(s, object);
  slot = static_cast<T*>(s);
}

bool Intersect(RECT& out, const RECT& a, const RECT& b) {
  out.left = std::max(a.left, b.left);
  out.top = std::max(a.top, b.top);
  out.right = std::min(a.right, b.right);
  out.bottom = std::min(a.bottom, b.bottom);
  if (out.left >= out.right || out.top >= out.bottom) {
    out = RECT{};
    return false;
  }
  return true;
}

// The surface a copy reads from: a memory context's bitmap, a window's frame, or a bitmap.
const Surface* SourceSurface(HANDLE source, POINT* origin) {
  *origin = POINT{};
  HDC dc = reinterpret_cast<HDC>(source);
  if (IsLiveDC(dc)) {
    *origin = dc->origin;
    return &dc->surface;
  }
  if (GdiBitmap* b = AsBitmap(reinterpret_cast<HGDIOBJ>(source))) return &b->surface;
  return nullptr;
}

// Nearest-neighbour copy of the source rectangle onto the destination rectangle; keyed
// pixels (when key is not null) are left out. Source pixels outside the source surface are
// not drawn.
BOOL Copy(HDC dest, int x, int y, int w, int h, const Surface& src, POINT srcOrigin, int sx, int sy, int sw,
          int sh, const WORD* key) {
  if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return w == 0 || h == 0 ? TRUE : FALSE;
  sx += srcOrigin.x;
  sy += srcOrigin.y;
  const RECT target{x, y, x + w, y + h};
  const int ox = dest->origin.x, oy = dest->origin.y;
  const bool same = (w == sw && h == sh);
  for (const RECT& part : dest->DrawableParts(target)) {
    for (int py = part.top; py < part.bottom; ++py) {
      const int dy = py - oy - y;
      const int srcY = same ? sy + dy : sy + static_cast<int>((2LL * dy + 1) * sh / (2LL * h));
      if (srcY < 0 || srcY >= src.height) continue;
      const WORD* srow = src.Row(srcY);
      WORD* drow = dest->surface.Row(py);
      for (int px = part.left; px < part.right; ++px) {
        const int dx = px - ox - x;
        const int srcX = same ? sx + dx : sx + static_cast<int>((2LL * dx + 1) * sw / (2LL * w));
        if (srcX < 0 || srcX >= src.width) continue;
        const WORD p = srow[srcX];
        if (key && p == *key) continue;
        drow[px] = p;
      }
    }
  }
  return TRUE;
}

void Fill(DeviceContext& dc, const RECT& rect, WORD pixel) {
  for (const RECT& part : dc.DrawableParts(rect))
    for (int py = part.top; py < part.bottom; ++py) std::fill(dc.surface.Row(py) + part.left, dc.surface.Row(py) + part.right, pixel);
}

// Whether a bitmap of this size may be made; sets the last error when not.
bool BitmapSizeAllowed(int width, int height) {
  if (width > kMaxBitmapSide || height > kMaxBitmapSide ||
      static_cast<long long>(width) * height > kMaxBitmapPixels) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  return true;
}

GdiBitmap* NewBitmap(int width, int height) {
  if (width <= 0 || height <= 0 || !BitmapSizeAllowed(width, height)) return nullptr;
  auto* b = new GdiBitmap;
  b->owned.assign(static_cast<size_t>(width) * height, 0);
  b->surface = {b->owned.data(), width, height, width};
  b->widthBytes = width * 2;
  return Track(b);
}

struct PlainDC : DeviceContext {};

}  // namespace

std::recursive_mutex& GdiLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::vector<RECT> DeviceContext::DrawableParts(const RECT& rect) const {
  std::vector<RECT> parts;
  RECT r{rect.left + origin.x, rect.top + origin.y, rect.right + origin.x, rect.bottom + origin.y};
  RECT bounded;
  if (!Intersect(bounded, r, RECT{0, 0, surface.width, surface.height})) return parts;
  if (!clipped) {
    parts.push_back(bounded);
    return parts;
  }
  for (const RECT& c : clip) {
    RECT piece;
    if (Intersect(piece, bounded, c)) parts.push_back(piece);
  }
  return parts;
}

void RegisterDC(HDC dc) {
  std::lock_guard lock(GdiLock());
  LiveDCs().insert(dc);
}
void UnregisterDC(HDC dc) {
  std::lock_guard lock(GdiLock());
  LiveDCs().erase(dc);
}
bool IsLiveDC(HDC dc) {
  std::lock_guard lock(GdiLock());
  return dc && LiveDCs().count(dc);
}

void ResetDC(DeviceContext& dc) {
  std::lock_guard lock(GdiLock());
  SelectTyped(dc.pen, &Stock().pens[1]);
  SelectTyped(dc.brush, &Stock().brushes[0]);
  SelectTyped(dc.font, &Stock().systemFont);
  dc.textColour = RGB(0, 0, 0);
  dc.bkColour = RGB(255, 255, 255);
  dc.bkMode = OPAQUE;
  dc.position = POINT{};
}

void ReleaseSelections(DeviceContext& dc) {
  std::lock_guard lock(GdiLock());
  SelectTyped(dc.pen, static_cast<GdiPen*>(nullptr));
  SelectTyped(dc.brush, static_cast<GdiBrush*>(nullptr));
  SelectTyped(dc.font, static_cast<GdiFont*>(nullptr));
  SelectTyped(dc.bitmap, static_cast<GdiBitmap*>(nullptr));
}

HGDIOBJ TrackGdiObject(GdiObject* object) {
  std::lock_guard lock(GdiLock());
  return Track(object);
}

GdiFont* AsFont(HGDIOBJ object) { return As<GdiFont>(object, GdiKind::Font); }

// ---- Rectangles --------------------------------------------------------------------------

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom) {
  if (!rect) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(RECT* rect) { return SetRect(rect, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT* rect) { return !rect || rect->left >= rect->right || rect->top >= rect->bottom; }
BOOL PtInRect(const RECT* rect, POINT p) {
  return rect && p.x >= rect->left && p.x < rect->right && p.y >= rect->top && p.y < rect->bottom;
}
BOOL OffsetRect(RECT* rect, int dx, int dy) {
  if (!rect) return FALSE;
  *rect = RECT{rect->left + dx, rect->top + dy, rect->right + dx, rect->bottom + dy};
  return TRUE;
}
BOOL InflateRect(RECT* rect, int dx, int dy) {
  if (!rect) return FALSE;
  *rect = RECT{rect->left - dx, rect->top - dy, rect->right + dx, rect->bottom + dy};
  return TRUE;
}
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  return Intersect(*out, *a, *b) ? TRUE : FALSE;
}
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  if (IsRectEmpty(a)) *out = IsRectEmpty(b) ? RECT{} : *b;
  else if (IsRectEmpty(b)) *out = *a;
  else
    *out = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
  return !IsRectEmpty(out);
}

// ---- Objects -----------------------------------------------------------------------------

HGDIOBJ GetStockObject(int which) {
  std::lock_guard lock(GdiLock());
  StockObjects& s = Stock();
  if (which >= WHITE_BRUSH && which <= NULL_BRUSH) return &s.brushes[which];
  if (which >= WHITE_PEN && which <= NULL_PEN) return &s.pens[which - WHITE_PEN];
  if (which == SYSTEM_FONT || which == DEFAULT_GUI_FONT) return &s.systemFont;
  return nullptr;
}

BOOL DeleteObject(HGDIOBJ object) {
  std::lock_guard lock(GdiLock());
  GdiObject* o = AsObject(object);
  if (!o) return FALSE;
  if (o->stock) return TRUE;
  if (o->selections > 0) return FALSE;
  LiveObjects().erase(o);
  delete o;
  return TRUE;
}

HPEN CreatePen(int style, int width, COLORREF colour) {
  std::lock_guard lock(GdiLock());
  auto* pen = new GdiPen;
  pen->style = style;
  pen->width = std::max(1, width);
  pen->colour = colour;
  return Track(pen);
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  std::lock_guard lock(GdiLock());
  auto* brush = new GdiBrush;
  brush->colour = colour;
  return Track(brush);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  if (!info) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biBitCount != 16 || h.biWidth <= 0 || h.biHeight == 0) return nullptr;
  if (h.biCompression == BI_BITFIELDS) {
    DWORD masks[3];
    std::memcpy(masks, reinterpret_cast<const BYTE*>(info) + h.biSize, sizeof masks);
    if (masks[0] != 0xF800 || masks[1] != 0x07E0 || masks[2] != 0x001F) return nullptr;
  } else if (h.biCompression != BI_RGB) {
    return nullptr;
  }
  const int width = h.biWidth;
  const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (!BitmapSizeAllowed(width, height)) return nullptr;
  const int widthBytes = (width * 2 + 3) & ~3;
  std::lock_guard lock(GdiLock());
  auto* b = new GdiBitmap;
  b->dib.reset(new BYTE[static_cast<size_t>(widthBytes) * height]());
  b->widthBytes = widthBytes;
  WORD* base = reinterpret_cast<WORD*>(b->dib.get());
  const int pitch = widthBytes / 2;
  if (h.biHeight < 0) b->surface = {base, width, height, pitch};
  else b->surface = {base + static_cast<std::ptrdiff_t>(height - 1) * pitch, width, height, -pitch};
  if (bits) *bits = b->dib.get();
  return Track(b);
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  std::lock_guard lock(GdiLock());
  return NewBitmap(width, height);
}

HBITMAP CreateBitmapFromIndexed(int width, int height, const BYTE* pixels, const BYTE* paletteRgb) {
  if (!pixels || !paletteRgb) return nullptr;
  std::lock_guard lock(GdiLock());
  GdiBitmap* b = NewBitmap(width, height);
  if (!b) return nullptr;
  WORD colours[256];
  for (int i = 0; i < 256; ++i)
    colours[i] = ToRgb565(RGB(paletteRgb[3 * i], paletteRgb[3 * i + 1], paletteRgb[3 * i + 2]));
  for (size_t i = 0; i < b->owned.size(); ++i) b->owned[i] = colours[pixels[i]];
  return b;
}

int GetObjectW(HGDIOBJ object, int size, void* out) {
  std::lock_guard lock(GdiLock());
  GdiBitmap* b = AsBitmap(object);
  if (!b || !out || size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP bm;
  bm.bmWidth = b->surface.width;
  bm.bmHeight = b->surface.height;
  bm.bmWidthBytes = b->widthBytes;
  bm.bmBits = b->dib ? static_cast<void*>(b->dib.get()) : static_cast<void*>(b->owned.data());
  std::memcpy(out, &bm, sizeof bm);
  return sizeof bm;
}

WORD* BitmapPixels(HBITMAP bitmap, int* rowPitchPixels) {
  std::lock_guard lock(GdiLock());
  GdiBitmap* b = AsBitmap(bitmap);
  if (!b) return nullptr;
  if (rowPitchPixels) *rowPitchPixels = b->surface.pitch;
  return b->surface.pixels;
}

// ---- Contexts ----------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC) {
  std::lock_guard lock(GdiLock());
  auto* dc = new PlainDC;
  dc->memory = true;
  ResetDC(*dc);
  GdiBitmap* b = &DefaultBitmap();
  SelectTyped(dc->bitmap, b);
  dc->surface = b->surface;
  RegisterDC(dc);
  return dc;
}

HDC CreateScreenDC() {
  std::lock_guard lock(GdiLock());
  auto* dc = new PlainDC;
  ResetDC(*dc);
  dc->surface = {GetVisibleFrame(), kScreenWidth, kScreenHeight, kScreenWidth};
  RegisterDC(dc);
  return dc;
}

BOOL DeleteDC(HDC dc) {
  bool onFrame = false;
  {
    std::lock_guard lock(GdiLock());
    if (!IsLiveDC(dc)) return FALSE;
    onFrame = IsFrameMemory(dc->surface.pixels);
    ReleaseSelections(*dc);
    UnregisterDC(dc);
    delete dc;
  }
  // What a context on the frame buffer drew is there to be shown once it is released.
  if (onFrame) AnnounceFrameChange();
  return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  std::lock_guard lock(GdiLock());
  GdiObject* o = AsObject(object);
  if (!IsLiveDC(dc) || !o) return nullptr;
  GdiObject* previous = nullptr;
  switch (o->kind) {
    case GdiKind::Pen:
      previous = dc->pen;
      SelectTyped(dc->pen, static_cast<GdiPen*>(o));
      break;
    case GdiKind::Brush:
      previous = dc->brush;
      SelectTyped(dc->brush, static_cast<GdiBrush*>(o));
      break;
    case GdiKind::Font:
      previous = dc->font;
      SelectTyped(dc->font, static_cast<GdiFont*>(o));
      break;
    case GdiKind::Bitmap: {
      auto* b = static_cast<GdiBitmap*>(o);
      if (!dc->memory) return nullptr;
      if (b != dc->bitmap && b->selections > 0 && !b->stock) return nullptr;
      previous = dc->bitmap;
      SelectTyped(dc->bitmap, b);
      dc->surface = b->surface;
      break;
    }
  }
  return previous;
}

HGDIOBJ GetCurrentObject(HDC dc, UINT kind) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc)) return nullptr;
  switch (kind) {
    case OBJ_PEN: return dc->pen;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_FONT: return dc->font;
    case OBJ_BITMAP: return dc->bitmap;
    default: return nullptr;
  }
}

int SetBkMode(HDC dc, int mode) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc) || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->bkMode, mode);
}
int GetBkMode(HDC dc) { return IsLiveDC(dc) ? dc->bkMode : 0; }
COLORREF SetBkColor(HDC dc, COLORREF colour) {
  std::lock_guard lock(GdiLock());
  return IsLiveDC(dc) ? std::exchange(dc->bkColour, colour) : CLR_INVALID;
}
COLORREF GetBkColor(HDC dc) { return IsLiveDC(dc) ? dc->bkColour : CLR_INVALID; }
COLORREF SetTextColor(HDC dc, COLORREF colour) {
  std::lock_guard lock(GdiLock());
  return IsLiveDC(dc) ? std::exchange(dc->textColour, colour) : CLR_INVALID;
}
COLORREF GetTextColor(HDC dc) { return IsLiveDC(dc) ? dc->textColour : CLR_INVALID; }

COLORREF GetPixel(HDC dc, int x, int y) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc)) return CLR_INVALID;
  std::vector<RECT> parts = dc->DrawableParts(RECT{x, y, x + 1, y + 1});
  if (parts.empty()) return CLR_INVALID;
  return FromRgb565(dc->surface.Row(parts[0].top)[parts[0].left]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc)) return CLR_INVALID;
  std::vector<RECT> parts = dc->DrawableParts(RECT{x, y, x + 1, y + 1});
  if (parts.empty()) return CLR_INVALID;
  const WORD p = ToRgb565(colour);
  dc->surface.Row(parts[0].top)[parts[0].left] = p;
  return FromRgb565(p);
}

// ---- Drawing -----------------------------------------------------------------------------

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int srcX, int srcY, DWORD rop) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dest)) return FALSE;
  if (rop == BLACKNESS || rop == WHITENESS) {
    Fill(*dest, RECT{x, y, x + width, y + height}, rop == BLACKNESS ? 0 : 0xFFFF);
    return TRUE;
  }
  if (rop != SRCCOPY || !IsLiveDC(source)) return FALSE;
  if (dest->surface.pixels == source->surface.pixels) {
    // Overlapping copy on one surface: read from a snapshot of the source area.
    std::vector<WORD> copy(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0));
    Surface snap{copy.data(), std::max(width, 0), std::max(height, 0), std::max(width, 0)};
    for (int row = 0; row < snap.height; ++row)
      for (int col = 0; col < snap.width; ++col) {
        const int sx = srcX + source->origin.x + col, sy = srcY + source->origin.y + row;
        const bool inside = sx >= 0 && sy >= 0 && sx < source->surface.width && sy < source->surface.height;
        snap.Row(row)[col] = inside ? source->surface.Row(sy)[sx] : dest->surface.Row(0)[0];
      }
    return Copy(dest, x, y, width, height, snap, POINT{}, 0, 0, width, height, nullptr);
  }
  return Copy(dest, x, y, width, height, source->surface, source->origin, srcX, srcY, width, height, nullptr);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int srcX, int srcY, int srcWidth,
                int srcHeight, DWORD rop) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dest) || !IsLiveDC(source) || rop != SRCCOPY) return FALSE;
  return Copy(dest, x, y, width, height, source->surface, source->origin, srcX, srcY, srcWidth, srcHeight, nullptr);
}

BOOL TransparentImage(HDC dest, int x, int y, int width, int height, HANDLE source, int srcX, int srcY,
                      int srcWidth, int srcHeight, COLORREF transparent) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dest)) return FALSE;
  POINT origin;
  const Surface* src = SourceSurface(source, &origin);
  if (!src) return FALSE;
  const WORD key = ToRgb565(transparent);
  return Copy(dest, x, y, width, height, *src, origin, srcX, srcY, srcWidth, srcHeight, &key);
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc)) return FALSE;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  int inset = 0;
  if (dc->pen && dc->pen->style != PS_NULL) {
    const WORD p = ToRgb565(dc->pen->colour);
    const int w = dc->pen->width;
    Fill(*dc, RECT{left, top, right, std::min(bottom, top + w)}, p);
    Fill(*dc, RECT{left, std::max(top, bottom - w), right, bottom}, p);
    Fill(*dc, RECT{left, top, std::min(right, left + w), bottom}, p);
    Fill(*dc, RECT{std::max(left, right - w), top, right, bottom}, p);
    inset = w;
  }
  if (dc->brush && !dc->brush->hollow)
    Fill(*dc, RECT{left + inset, top + inset, right - inset, bottom - inset}, ToRgb565(dc->brush->colour));
  return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  std::lock_guard lock(GdiLock());
  GdiBrush* b = As<GdiBrush>(brush, GdiKind::Brush);
  if (!IsLiveDC(dc) || !rect || !b) return 0;
  if (!b->hollow) Fill(*dc, *rect, ToRgb565(b->colour));
  return 1;
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc)) return FALSE;
  if (previous) *previous = dc->position;
  dc->position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc)) return FALSE;
  if (dc->pen && dc->pen->style != PS_NULL) {
    const WORD p = ToRgb565(dc->pen->colour);
    int x0 = dc->position.x, y0 = dc->position.y;
    const int dx = std::abs(x - x0), dy = -std::abs(y - y0);
    const int stepX = x0 < x ? 1 : -1, stepY = y0 < y ? 1 : -1;
    int err = dx + dy;
    while (x0 != x || y0 != y) {
      Fill(*dc, RECT{x0, y0, x0 + 1, y0 + 1}, p);
      const int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x0 += stepX;
      }
      if (e2 <= dx) {
        err += dx;
        y0 += stepY;
      }
    }
  }
  dc->position = POINT{x, y};
  return TRUE;
}
