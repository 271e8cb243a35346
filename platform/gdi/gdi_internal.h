// The objects behind GDI handles, shared by the drawing code, the text code and the window
// layer (which makes the contexts of windows).
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/gdi/gdi.h"

// A 565 pixel area; row y starts at pixels + y * pitch (pitch in pixels, negative for
// bottom-up bitmaps).
struct Surface {
  WORD* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;
  WORD* Row(int y) const { return pixels + static_cast<std::ptrdiff_t>(y) * pitch; }
};

enum class GdiKind { Bitmap, Pen, Brush, Font };

struct GdiObject {
  explicit GdiObject(GdiKind k) : kind(k) {}
  virtual ~GdiObject() = default;
  GdiKind kind;
  bool stock = false;
  int selections = 0;  // contexts it is selected into
};

struct GdiBitmap : GdiObject {
  GdiBitmap() : GdiObject(GdiKind::Bitmap) {}
  Surface surface;
  std::vector<WORD> owned;  // the pixels when the bitmap holds them itself
  std::unique_ptr<BYTE[]> dib;
  int widthBytes = 0;
};

struct GdiPen : GdiObject {
  GdiPen() : GdiObject(GdiKind::Pen) {}
  int style = PS_SOLID;
  int width = 1;
  COLORREF colour = 0;
};

struct GdiBrush : GdiObject {
  GdiBrush() : GdiObject(GdiKind::Brush) {}
  bool hollow = false;
  COLORREF colour = 0;
};

struct FontInstance;  // a face at a size, with its glyph cache (gdi_text.cpp)

struct GdiFont : GdiObject {
  GdiFont() : GdiObject(GdiKind::Font) {}
  LOGFONTW logFont;
  std::shared_ptr<FontInstance> instance;
};

struct DeviceContext {
  virtual ~DeviceContext() = default;
  Surface surface;
  POINT origin;               // where the context's (0, 0) lies on the surface
  bool clipped = false;       // when set, only the clip rectangles (surface coordinates) are drawn
  std::vector<RECT> clip;
  bool memory = false;
  GdiBitmap* bitmap = nullptr;  // memory contexts: the selected bitmap
  GdiPen* pen = nullptr;
  GdiBrush* brush = nullptr;
  GdiFont* font = nullptr;
  COLORREF textColour = RGB(0, 0, 0);
  COLORREF bkColour = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  POINT position;

  // The parts of rect (context coordinates) that may be drawn, in surface coordinates.
  std::vector<RECT> DrawableParts(const RECT& rect) const;
};

// Contexts made by other layers register themselves so that every entry point can refuse
// handles that are not live.
void RegisterDC(HDC dc);
void UnregisterDC(HDC dc);
bool IsLiveDC(HDC dc);
// Puts the default objects and colours into a fresh context.
void ResetDC(DeviceContext& dc);
// Releases what a context holds selected.
void ReleaseSelections(DeviceContext& dc);
// Makes a new object a live handle.
HGDIOBJ TrackGdiObject(GdiObject* object);
// The font object behind a handle, nullptr when it is not a live font.
GdiFont* AsFont(HGDIOBJ object);
// Serialises all GDI state changes and drawing (several threads may draw).
std::recursive_mutex& GdiLock();

// Text support (gdi_text.cpp).
struct TextMetrics {
  int ascent = 0;
  int descent = 0;
  int height = 0;
};
std::shared_ptr<FontInstance> OpenFontInstance(const LOGFONTW& font);
TextMetrics FontMetrics(FontInstance& font);
int TextWidth(FontInstance& font, WStringView text);
// Draws a line of text with its top-left corner at (x, y) in context coordinates, blending
// the glyphs with the text colour; only pixels inside clipRect (context coordinates) change.
void RenderTextLine(DeviceContext& dc, FontInstance& font, int x, int y, WStringView text, COLORREF colour,
                    const RECT* clipRect);
