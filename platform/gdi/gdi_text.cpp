// Fonts and text: FreeType renders a metric-compatible sans-serif face, with a CJK face
// for the characters it lacks, anti-aliased onto the 565 surface.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <unistd.h>

#include "platform/gdi/gdi_internal.h"

namespace {

const char* const kRegularFaces[] = {
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/croscore/Arimo-Regular.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
};
const char* const kBoldFaces[] = {
    "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/croscore/Arimo-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
};
const char* const kCjkFaces[] = {
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc",
};

template <size_t N>
const char* FirstExisting(const char* const (&paths)[N]) {
  for (const char* p : paths)
    if (access(p, R_OK) == 0) return p;
  return nullptr;
}

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) lib = nullptr;
    return lib;
  }();
  return library;
}

struct Glyph {
  int left = 0, top = 0;  // bitmap offset from the pen position on the baseline
  int width = 0, rows = 0;
  int advance = 0;
  std::vector<BYTE> coverage;
};

}  // namespace

struct FontInstance {
  FT_Face primary = nullptr;
  FT_Face fallback = nullptr;
  TextMetrics metrics;
  std::map<char32_t, Glyph> glyphs;

  ~FontInstance() {
    if (primary) FT_Done_Face(primary);
    if (fallback) FT_Done_Face(fallback);
  }

  const Glyph& Get(char32_t c) {
    auto found = glyphs.find(c);
    if (found != glyphs.end()) return found->second;
    Glyph& g = glyphs[c];
    FT_Face face = primary;
    FT_UInt index = FT_Get_Char_Index(primary, c);
    if (index == 0 && fallback) {
      FT_UInt other = FT_Get_Char_Index(fallback, c);
      if (other != 0) {
        face = fallback;
        index = other;
      }
    }
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0 || FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0)
      return g;
    FT_GlyphSlot slot = face->glyph;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = static_cast<int>(slot->bitmap.width);
    g.rows = static_cast<int>(slot->bitmap.rows);
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    g.coverage.resize(static_cast<size_t>(g.width) * g.rows);
    for (int y = 0; y < g.rows; ++y)
      std::copy_n(slot->bitmap.buffer + y * slot->bitmap.pitch, g.width, g.coverage.begin() + y * g.width);
    return g;
  }
};

namespace {

// Characters of UTF-16 text, surrogate pairs joined.
template <typename F>
void ForEachChar(WStringView text, F f) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    f(c);
  }
}

using InstanceKey = std::tuple<std::string, int, int>;

}  // namespace

std::shared_ptr<FontInstance> OpenFontInstance(const LOGFONTW& font) {
  std::lock_guard lock(GdiLock());
  static std::map<InstanceKey, std::weak_ptr<FontInstance>> cache;
  const bool bold = font.lfWeight >= 600;
  const char* path = bold ? FirstExisting(kBoldFaces) : FirstExisting(kRegularFaces);
  if (!path) path = FirstExisting(kRegularFaces);
  if (!path || !Library()) return nullptr;
  const int height = font.lfHeight == 0 ? kDefaultFontHeight : font.lfHeight;
  InstanceKey key{path, height, bold};
  if (auto existing = cache[key].lock()) return existing;

  auto instance = std::make_shared<FontInstance>();
  if (FT_New_Face(Library(), path, 0, &instance->primary) != 0) {
    instance->primary = nullptr;
    return nullptr;
  }
  // A positive height is the cell height (ascender plus descender), a negative one the
  // character (em) height, as the device's font mapper takes them.
  FT_Size_RequestRec request{};
  request.type = height > 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
  request.height = std::abs(height) * 64;
  if (FT_Request_Size(instance->primary, &request) != 0) return nullptr;
  const FT_Size_Metrics& m = instance->primary->size->metrics;
  instance->metrics.ascent = static_cast<int>((m.ascender + 63) >> 6);
  instance->metrics.descent = static_cast<int>((-m.descender + 63) >> 6);
  instance->metrics.height = instance->metrics.ascent + instance->metrics.descent;
  if (const char* cjk = FirstExisting(kCjkFaces)) {
    if (FT_New_Face(Library(), cjk, 0, &instance->fallback) == 0) {
      FT_Set_Pixel_Sizes(instance->fallback, 0, m.y_ppem);
    } else {
      instance->fallback = nullptr;
    }
  }
  cache[key] = instance;
  return instance;
}

TextMetrics FontMetrics(FontInstance& font) { return font.metrics; }

int TextWidth(FontInstance& font, WStringView text) {
  std::lock_guard lock(GdiLock());
  int width = 0;
  ForEachChar(text, [&](char32_t c) { width += font.Get(c).advance; });
  return width;
}

void RenderTextLine(DeviceContext& dc, FontInstance& font, int x, int y, WStringView text, COLORREF colour,
                    const RECT* clipRect) {
  std::lock_guard lock(GdiLock());
  const int fr = GetRValue(colour), fg = GetGValue(colour), fb = GetBValue(colour);
  const int baseline = y + font.metrics.ascent;
  int pen = x;
  ForEachChar(text, [&](char32_t c) {
    const Glyph& g = font.Get(c);
    RECT box{pen + g.left, baseline - g.top, pen + g.left + g.width, baseline - g.top + g.rows};
    if (clipRect) IntersectRect(&box, &box, clipRect);
    for (const RECT& part : dc.DrawableParts(box)) {
      for (int py = part.top; py < part.bottom; ++py) {
        WORD* row = dc.surface.Row(py);
        const int gy = py - dc.origin.y - (baseline - g.top);
        for (int px = part.left; px < part.right; ++px) {
          const int a = g.coverage[static_cast<size_t>(gy) * g.width + (px - dc.origin.x - (pen + g.left))];
          if (a == 0) continue;
          if (a == 255) {
            row[px] = ToRgb565(colour);
            continue;
          }
          const COLORREF under = FromRgb565(row[px]);
          const int r = GetRValue(under) + (fr - GetRValue(under)) * a / 255;
          const int gr = GetGValue(under) + (fg - GetGValue(under)) * a / 255;
          const int b = GetBValue(under) + (fb - GetBValue(under)) * a / 255;
          row[px] = ToRgb565(RGB(r, gr, b));
        }
      }
    }
    pen += g.advance;
  });
}

// ---- The text entry points -------------------------------------------------------------

namespace {

FontInstance* ContextFont(HDC dc) {
  if (!dc->font) return nullptr;
  if (!dc->font->instance) dc->font->instance = OpenFontInstance(dc->font->logFont);
  return dc->font->instance.get();
}

WStringView TextOf(LPCWSTR text, int count) {
  if (!text) return {};
  if (count < 0) return WStringView(text);
  return WStringView(text, static_cast<size_t>(count));
}

std::vector<WStringView> Lines(WStringView text, bool single) {
  std::vector<WStringView> lines;
  if (single) {
    lines.push_back(text);
    return lines;
  }
  size_t start = 0;
  for (;;) {
    size_t end = text.find(u'\n', start);
    WStringView line = text.substr(start, end == WStringView::npos ? WStringView::npos : end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == WStringView::npos) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace

HFONT CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) return nullptr;
  std::shared_ptr<FontInstance> instance = OpenFontInstance(*font);
  if (!instance) return nullptr;
  std::lock_guard lock(GdiLock());
  auto* f = new GdiFont;
  f->logFont = *font;
  f->instance = std::move(instance);
  return TrackGdiObject(f);
}

int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc) || !rect) return 0;
  FontInstance* font = ContextFont(dc);
  if (!font) return 0;
  const WStringView all = TextOf(text, count);
  const bool single = (format & DT_SINGLELINE) != 0;
  const std::vector<WStringView> lines = Lines(all, single);
  const int lineHeight = font->metrics.height;
  const int total = lineHeight * static_cast<int>(lines.size());
  if (format & DT_CALCRECT) {
    int widest = 0;
    for (WStringView line : lines) widest = std::max(widest, TextWidth(*font, line));
    rect->right = rect->left + widest;
    rect->bottom = rect->top + total;
    return total;
  }
  int y = rect->top;
  if (single && (format & DT_VCENTER)) y = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
  else if (single && (format & DT_BOTTOM)) y = rect->bottom - lineHeight;
  const RECT* clip = (format & DT_NOCLIP) ? nullptr : rect;
  for (WStringView line : lines) {
    const int width = TextWidth(*font, line);
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (rect->right - rect->left - width) / 2;
    else if (format & DT_RIGHT) x = rect->right - width;
    if (dc->bkMode == OPAQUE) {
      RECT cell{x, y, x + width, y + lineHeight};
      if (clip) IntersectRect(&cell, &cell, clip);
      const WORD bk = ToRgb565(dc->bkColour);
      for (const RECT& part : dc->DrawableParts(cell))
        for (int py = part.top; py < part.bottom; ++py)
          std::fill(dc->surface.Row(py) + part.left, dc->surface.Row(py) + part.right, bk);
    }
    RenderTextLine(*dc, *font, x, y, line, dc->textColour, clip);
    y += lineHeight;
  }
  return total;
}

BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc) || !size || count < 0) return FALSE;
  FontInstance* font = ContextFont(dc);
  if (!font) return FALSE;
  size->cx = TextWidth(*font, TextOf(text, count));
  size->cy = font->metrics.height;
  return TRUE;
}

BOOL ExtTextOutW(HDC dc, int x, int y, UINT, const RECT* rect, LPCWSTR text, UINT count, const int*) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc)) return FALSE;
  FontInstance* font = ContextFont(dc);
  if (!font) return FALSE;
  const WStringView line = TextOf(text, static_cast<int>(count));
  if (dc->bkMode == OPAQUE) {
    RECT cell{x, y, x + TextWidth(*font, line), y + font->metrics.height};
    if (rect) IntersectRect(&cell, &cell, rect);
    const WORD bk = ToRgb565(dc->bkColour);
    for (const RECT& part : dc->DrawableParts(cell))
      for (int py = part.top; py < part.bottom; ++py)
        std::fill(dc->surface.Row(py) + part.left, dc->surface.Row(py) + part.right, bk);
  }
  RenderTextLine(*dc, *font, x, y, line, dc->textColour, rect);
  return TRUE;
}

BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) {
  std::lock_guard lock(GdiLock());
  if (!IsLiveDC(dc) || !metrics) return FALSE;
  FontInstance* font = ContextFont(dc);
  if (!font) return FALSE;
  metrics->tmAscent = font->metrics.ascent;
  metrics->tmDescent = font->metrics.descent;
  metrics->tmHeight = font->metrics.height;
  metrics->tmAveCharWidth = font->Get(U'x').advance;
  metrics->tmMaxCharWidth = font->Get(U'W').advance;
  return TRUE;
}
