// Device contexts, bitmaps, pens, brushes and fonts on the RGB565 screen.
//
// Every device context draws into a 16-bit 565 surface: the visible frame buffer (window
// contexts, clipped to what of the window is visible) or a bitmap selected into a memory
// context. Colours are COLORREF values 0x00BBGGRR, turned into 565 when they are drawn.
#pragma once

#include "platform/kernel/types.h"

using COLORREF = DWORD;
constexpr COLORREF RGB(int r, int g, int b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) { return c & 0xFF; }
constexpr int GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }
// The 565 pixel of a colour, and back (the low bits are filled from the high ones).
constexpr WORD ToRgb565(COLORREF c) {
  return static_cast<WORD>(((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3));
}
constexpr COLORREF FromRgb565(WORD p) {
  int r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
  return RGB((r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
}

struct POINT {
  LONG x = 0, y = 0;
};
struct SIZE {
  LONG cx = 0, cy = 0;
};
struct RECT {
  LONG left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const RECT&, const RECT&) = default;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(RECT* rect);
BOOL IsRectEmpty(const RECT* rect);
BOOL PtInRect(const RECT* rect, POINT point);
BOOL OffsetRect(RECT* rect, int dx, int dy);
BOOL InflateRect(RECT* rect, int dx, int dy);
// FALSE (and an empty result) when the rectangles do not overlap.
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b);
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b);

// ---- Objects ---------------------------------------------------------------------------

struct GdiObject;
using HGDIOBJ = GdiObject*;
struct DeviceContext;
using HDC = DeviceContext*;
using HBITMAP = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HPEN = HGDIOBJ;
using HFONT = HGDIOBJ;

constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_GUI_FONT = 17;
// Stock objects are never deleted; DeleteObject on them does nothing.
HGDIOBJ GetStockObject(int which);

// Fails (FALSE) for an object that is selected into a context.
BOOL DeleteObject(HGDIOBJ object);

constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;
HPEN CreatePen(int style, int width, COLORREF colour);
HBRUSH CreateSolidBrush(COLORREF colour);

// ---- Bitmaps ---------------------------------------------------------------------------

struct BITMAP {
  LONG bmType = 0;
  LONG bmWidth = 0;
  LONG bmHeight = 0;
  LONG bmWidthBytes = 0;
  WORD bmPlanes = 1;
  WORD bmBitsPixel = 16;
  LPVOID bmBits = nullptr;
};

struct BITMAPINFOHEADER {
  DWORD biSize = 40;
  LONG biWidth = 0;
  LONG biHeight = 0;  // negative: rows top to bottom
  WORD biPlanes = 1;
  WORD biBitCount = 0;
  DWORD biCompression = 0;
  DWORD biSizeImage = 0;
  LONG biXPelsPerMeter = 0;
  LONG biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};
struct RGBQUAD {
  BYTE rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;
constexpr UINT DIB_RGB_COLORS = 0;

// A 16-bit bitmap whose pixels the caller reaches through *bits. Accepted: 16 bits a pixel,
// BI_BITFIELDS with the masks 0xF800, 0x07E0, 0x001F following the header (the masks of the
// screen) or BI_RGB (taken as 565 as well). Rows are 4-byte aligned; a negative height
// stores them top to bottom, a positive one bottom to top.
// Bitmaps larger than kMaxBitmapPixels (or a side above kMaxBitmapSide) are refused with
// ERROR_NOT_ENOUGH_MEMORY: a 20000 x 100 panorama is fine, a 30000 x 30000 page is not.
constexpr long long kMaxBitmapPixels = 32ll * 1024 * 1024;
constexpr int kMaxBitmapSide = 65535;
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A bitmap made from 8-bit pixels (rows top to bottom, width bytes each) and a palette of
// RGB triples, converted to the screen's format.
HBITMAP CreateBitmapFromIndexed(int width, int height, const BYTE* pixels, const BYTE* paletteRgb);
// Fills a BITMAP (bitmaps) and returns the bytes written; 0 for other objects.
int GetObjectW(HGDIOBJ object, int size, void* out);
// The first pixel of a bitmap and the distance between rows in pixels (negative for
// bottom-up bitmaps); for tests and the imaging layer.
WORD* BitmapPixels(HBITMAP bitmap, int* rowPitchPixels);

// ---- Device contexts -------------------------------------------------------------------

HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// Returns the previous object of the same kind; nullptr when the object cannot be selected
// (a bitmap into a window context, or a bitmap already selected elsewhere).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, UINT kind);
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_BRUSH = 2;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF colour);
COLORREF GetBkColor(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF GetTextColor(HDC dc);

COLORREF GetPixel(HDC dc, int x, int y);  // CLR_INVALID outside the surface or clip
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// ---- Drawing ---------------------------------------------------------------------------

constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
// Copies are clipped to the source surface and to the destination's clip.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int srcX, int srcY, DWORD rop);
// Nearest neighbour, enlarging or reducing; each destination pixel takes the source pixel
// under its centre.
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int srcX, int srcY, int srcWidth,
                int srcHeight, DWORD rop);
// Like StretchBlt, leaving out the source pixels of the transparent colour. The source is
// a device context or a bitmap.
BOOL TransparentImage(HDC dest, int x, int y, int width, int height, HANDLE source, int srcX, int srcY,
                      int srcWidth, int srcHeight, COLORREF transparent);
inline BOOL TransparentImage(HDC dest, int x, int y, int width, int height, HGDIOBJ source, int srcX, int srcY,
                             int srcWidth, int srcHeight, COLORREF transparent) {
  return TransparentImage(dest, x, y, width, height, reinterpret_cast<HANDLE>(source), srcX, srcY, srcWidth,
                          srcHeight, transparent);
}
inline BOOL TransparentImage(HDC dest, int x, int y, int width, int height, HDC source, int srcX, int srcY,
                             int srcWidth, int srcHeight, COLORREF transparent) {
  return TransparentImage(dest, x, y, width, height, reinterpret_cast<HANDLE>(source), srcX, srcY, srcWidth,
                          srcHeight, transparent);
}
// Outline in the current pen (right and bottom edges at right - 1, bottom - 1), inside in
// the current brush.
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// A line from the current position to (x, y), which becomes the current position; the end
// point is not drawn.
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL LineTo(HDC dc, int x, int y);

// ---- Fonts and text --------------------------------------------------------------------

constexpr int LF_FACESIZE = 32;
struct LOGFONTW {
  LONG lfHeight = 0;  // > 0: cell height in pixels; < 0: character height; 0: default
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = 0;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = 0;
  BYTE lfOutPrecision = 0;
  BYTE lfClipPrecision = 0;
  BYTE lfQuality = 0;
  BYTE lfPitchAndFamily = 0;
  WCHAR lfFaceName[LF_FACESIZE] = {};
};
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE OUT_DEFAULT_PRECIS = 0;
constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE DRAFT_QUALITY = 1;
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FF_SWISS = 0x20;

// Every face is drawn with one metric-compatible sans-serif face (bold from weight 600);
// characters it lacks come from a CJK face. Nullptr when no font file can be found.
HFONT CreateFontIndirectW(const LOGFONTW* font);
// The height (cell height) of the face that default contexts use.
constexpr int kDefaultFontHeight = 16;

constexpr UINT DT_TOP = 0x0;
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_BOTTOM = 0x8;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_NOCLIP = 0x100;
constexpr UINT DT_CALCRECT = 0x400;
// Draws the text in the rectangle with the context's font and text colour: anti-aliased onto
// what lies below in TRANSPARENT mode, on the background colour in OPAQUE mode. Lines break at
// "\n" unless DT_SINGLELINE; DT_VCENTER and DT_BOTTOM act on single lines. Nothing falls
// outside the rectangle unless DT_NOCLIP. count -1: up to the terminating zero. Returns the
// height of the text; DT_CALCRECT only measures, widening or narrowing rect to the text.
int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format);
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size);
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count, const int* dx);

struct TEXTMETRICW {
  LONG tmHeight = 0, tmAscent = 0, tmDescent = 0, tmAveCharWidth = 0, tmMaxCharWidth = 0;
};
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics);

// ---- The screen --------------------------------------------------------------------------

// A context on the whole visible frame buffer, without clipping by windows (GetDC(NULL)
// of the window layer). Release it with DeleteDC or ReleaseDC.
HDC CreateScreenDC();
