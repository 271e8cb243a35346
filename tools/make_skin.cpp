// Draws the skin as it was first drawn: every bitmap of the program's resources and its
// icon, reduced to 8-bit palette pictures and written as BMP files into res/bitmaps/ and
// res/icons/, where the build takes them from (res/skin.rc lists them). Running it again
// draws them anew over any change made to the files since.
//
//   vellumet-make-skin SOURCE_ROOT
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "tools/skin/skin_files.h"

#undef printf

namespace {

struct Rgb {
  float r = 0, g = 0, b = 0;
};
Rgb Mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb Hex(unsigned v) { return {float((v >> 16) & 255), float((v >> 8) & 255), float(v & 255)}; }
const Rgb kKey = Hex(0xFF66FF);

using Inside = std::function<bool(float, float)>;

// An RGB picture with anti-aliased shapes (4 x 4 samples a pixel). A keyed picture starts
// as the transparent colour and its shapes have hard edges, so that no edge pixel is a mix
// of the key and a colour.
struct Picture {
  int w, h;
  bool keyed;
  std::vector<Rgb> px;
  Picture(int width, int height, bool key = false) : w(width), h(height), keyed(key), px(size_t(w) * h, key ? kKey : Rgb{}) {}
  Rgb& At(int x, int y) { return px[size_t(y) * w + x]; }

  void Blend(int x, int y, Rgb c, float a) {
    if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
    if (keyed) {
      if (a >= 0.5f) At(x, y) = c;
      return;
    }
    At(x, y) = Mix(At(x, y), c, std::min(a, 1.0f));
  }
  // Fills the shape; colour may vary with the position.
  void Shape(float x0, float y0, float x1, float y1, const Inside& inside, const std::function<Rgb(float, float)>& colour,
             float alpha = 1) {
    for (int y = std::max(0, int(std::floor(y0))); y < std::min(h, int(std::ceil(y1)) + 1); ++y)
      for (int x = std::max(0, int(std::floor(x0))); x < std::min(w, int(std::ceil(x1)) + 1); ++x) {
        int hits = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx) hits += inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4);
        if (hits) Blend(x, y, colour(x + 0.5f, y + 0.5f), alpha * hits / 16.0f);
      }
  }
  void Shape(float x0, float y0, float x1, float y1, const Inside& inside, Rgb c, float alpha = 1) {
    Shape(x0, y0, x1, y1, inside, [c](float, float) { return c; }, alpha);
  }
  void Rect(float x0, float y0, float x1, float y1, Rgb c, float alpha = 1) {
    Shape(x0, y0, x1, y1, [=](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; }, c, alpha);
  }
  void VGradient(float x0, float y0, float x1, float y1, Rgb top, Rgb bottom) {
    Shape(x0, y0, x1, y1, [=](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; },
          [=](float, float y) { return Mix(top, bottom, std::clamp((y - y0) / std::max(1.0f, y1 - y0), 0.0f, 1.0f)); });
  }
  void RoundRect(float x0, float y0, float x1, float y1, float r, const std::function<Rgb(float, float)>& c) {
    Shape(x0, y0, x1, y1, [=](float x, float y) {
      if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
      const float cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
      return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    }, c);
  }
  void RoundRect(float x0, float y0, float x1, float y1, float r, Rgb c) {
    RoundRect(x0, y0, x1, y1, r, [c](float, float) { return c; });
  }
  void Circle(float cx, float cy, float r, Rgb c) {
    Shape(cx - r, cy - r, cx + r, cy + r, [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; }, c);
  }
  // A ring between radii r0 and r1, from angle a0 to a1 (degrees, clockwise from east).
  void Arc(float cx, float cy, float r0, float r1, float a0, float a1, Rgb c) {
    Shape(cx - r1, cy - r1, cx + r1, cy + r1, [=](float x, float y) {
      const float d = std::hypot(x - cx, y - cy);
      if (d < r0 || d > r1) return false;
      float a = std::atan2(y - cy, x - cx) * 180 / float(M_PI);
      if (a < 0) a += 360;
      return a0 <= a1 ? (a >= a0 && a <= a1) : (a >= a0 || a <= a1);
    }, c);
  }
  void Polygon(std::vector<std::array<float, 2>> p, Rgb c) {
    float x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (auto& q : p) x0 = std::min(x0, q[0]), y0 = std::min(y0, q[1]), x1 = std::max(x1, q[0]), y1 = std::max(y1, q[1]);
    Shape(x0, y0, x1, y1, [p](float x, float y) {
      bool in = false;
      for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
        if ((p[i][1] > y) != (p[j][1] > y) && x < (p[j][0] - p[i][0]) * (y - p[i][1]) / (p[j][1] - p[i][1]) + p[i][0]) in = !in;
      return in;
    }, c);
  }
  void Line(float ax, float ay, float bx, float by, float width, Rgb c) {
    const float r = width / 2;
    Shape(std::min(ax, bx) - r, std::min(ay, by) - r, std::max(ax, bx) + r, std::max(ay, by) + r, [=](float x, float y) {
      const float dx = bx - ax, dy = by - ay;
      const float t = std::clamp(((x - ax) * dx + (y - ay) * dy) / std::max(1e-6f, dx * dx + dy * dy), 0.0f, 1.0f);
      return std::hypot(x - ax - t * dx, y - ay - t * dy) <= r;
    }, c);
  }
  // Text in the program's sans-serif face, through the platform's own text drawing.
  void Text(const std::u16string& text, int x, int y, int bw, int bh, int height, Rgb c, bool centred, bool bold = false) {
    struct {
      BITMAPINFOHEADER header;
      DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    } info;
    info.header.biWidth = w;
    info.header.biHeight = -h;
    info.header.biBitCount = 16;
    info.header.biCompression = BI_BITFIELDS;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    LOGFONTW lf;
    lf.lfHeight = height;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT box{x, y, x + bw, y + bh};
    DrawTextW(dc, text.c_str(), -1, &box, centred ? DT_CENTER : DT_LEFT);
    const int pitch = ((w * 2 + 3) & ~3) / 2;
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px) {
        const WORD p = static_cast<WORD*>(bits)[py * pitch + px];
        if (p) Blend(px, py, c, ((p >> 5) & 63) / 63.0f);
      }
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
};

// ---- Palette ------------------------------------------------------------------------------

int Clamp255(float v) { return std::clamp(int(std::lround(v)), 0, 255); }

// Median cut over the picture's colours (after rounding to 565, what the screen shows).
IndexedPicture Quantise(const Picture& p) {
  std::map<unsigned, int> counts;
  auto key = [](const Rgb& c) { return unsigned(ToRgb565(RGB(Clamp255(c.r), Clamp255(c.g), Clamp255(c.b)))); };
  for (const Rgb& c : p.px) ++counts[key(c)];
  std::vector<std::pair<unsigned, int>> colours(counts.begin(), counts.end());
  using Box = std::vector<std::pair<unsigned, int>>;
  std::vector<Box> boxes{colours};
  auto channel = [](unsigned k, int ch) { return ch == 0 ? (k >> 11) << 1 : ch == 1 ? (k >> 5) & 63 : (k & 31) << 1; };
  while (boxes.size() < 256) {
    size_t best = boxes.size();
    int bestRange = 0, bestChannel = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].size() < 2) continue;
      for (int ch = 0; ch < 3; ++ch) {
        unsigned lo = 255, hi = 0;
        for (auto& [k, n] : boxes[i]) lo = std::min(lo, channel(k, ch)), hi = std::max(hi, channel(k, ch));
        if (int(hi - lo) > bestRange) bestRange = int(hi - lo), best = i, bestChannel = ch;
      }
    }
    if (best == boxes.size()) break;
    Box& b = boxes[best];
    std::sort(b.begin(), b.end(), [&](auto& x, auto& y) { return channel(x.first, bestChannel) < channel(y.first, bestChannel); });
    long total = 0, half = 0;
    for (auto& e : b) total += e.second;
    size_t cut = 1;
    for (; cut < b.size() - 1; ++cut) {
      half += b[cut - 1].second;
      if (half * 2 >= total) break;
    }
    Box upper(b.begin() + cut, b.end());
    b.resize(cut);
    boxes.push_back(std::move(upper));
  }
  IndexedPicture out{p.w, p.h, int(boxes.size()), std::vector<BYTE>(768, 0), {}};
  std::map<unsigned, BYTE> index;
  for (size_t i = 0; i < boxes.size(); ++i) {
    double r = 0, g = 0, b = 0, n = 0;
    bool hasKey = false;
    for (auto& [k, c] : boxes[i]) {
      const COLORREF rgb = FromRgb565(WORD(k));
      r += GetRValue(rgb) * c, g += GetGValue(rgb) * c, b += GetBValue(rgb) * c, n += c;
      hasKey |= k == ToRgb565(RGB(255, 102, 255));
      index[k] = BYTE(i);
    }
    // The transparent colour stays exact (it is alone in its box once the cut reaches it).
    out.palette[3 * i] = BYTE(hasKey && boxes[i].size() == 1 ? 255 : std::lround(r / n));
    out.palette[3 * i + 1] = BYTE(hasKey && boxes[i].size() == 1 ? 102 : std::lround(g / n));
    out.palette[3 * i + 2] = BYTE(hasKey && boxes[i].size() == 1 ? 255 : std::lround(b / n));
  }
  out.pixels.reserve(p.px.size());
  for (const Rgb& c : p.px) out.pixels.push_back(index[key(c)]);
  return out;
}

// ---- The artwork -------------------------------------------------------------------------

const Rgb kNavy = Hex(0x10203A), kDeep = Hex(0x0A1424), kSteel = Hex(0x2C4468), kLine = Hex(0x5A7CA8);
const Rgb kWhite = Hex(0xFFFFFF), kAmber = Hex(0xFFB030), kRed = Hex(0xE03A30), kGreen = Hex(0x48C060);

// The common backdrop of the full-screen pages: a deep blue gradient, a title band and a
// bar for the buttons.
void Backdrop(Picture& p) {
  p.VGradient(0, 0, 800, 480, Hex(0x1C3354), kDeep);
  p.VGradient(0, 0, 800, 68, Hex(0x2E4E7C), Hex(0x182C4A));
  p.Rect(0, 68, 800, 70, kLine);
  p.VGradient(0, 388, 800, 480, Hex(0x1A2C48), Hex(0x0C1628));
  p.Rect(0, 388, 800, 390, kLine);
}

Picture MainBackground() {
  Picture p(800, 480);
  Backdrop(p);
  // Panels under the eight cells and a recess for the page counter and the battery.
  for (int c = 0; c < 8; ++c) {
    const float x = 28 + 190 * (c % 4), y = 85 + 145 * (c / 4);
    p.RoundRect(x - 4, y - 4, x + 174, y + 134, 8, Hex(0x14243C));
    p.Rect(x, y, x + 170, y + 130, Hex(0x0E1A2C));
  }
  p.RoundRect(620, 12, 790, 56, 10, Hex(0x122038));
  return p;
}

Picture ViewBackground() {
  Picture p(800, 480);
  Backdrop(p);
  p.VGradient(0, 0, 800, 390, Hex(0x1C3354), kDeep);
  p.RoundRect(14, 12, 788, 378, 10, Hex(0x34527E));
  p.Rect(22, 20, 780, 370, Hex(0x000000));
  return p;
}

Picture InfoBackground() {
  Picture p(800, 480);
  Backdrop(p);
  p.VGradient(0, 0, 800, 390, Hex(0x1C3354), kDeep);
  p.RoundRect(15, 17, 426, 378, 10, Hex(0x34527E));
  p.Rect(23, 25, 418, 370, Hex(0x000000));
  p.RoundRect(420, 30, 788, 250, 10, Hex(0x14243C));
  for (int i = 0; i < 6; ++i) p.Rect(430, 66 + 35 * i, 778, 67 + 35 * i, Hex(0x2A4468));
  return p;
}

using Icon = std::function<void(Picture&, float cx, float cy, Rgb ink)>;

// A button face: rounded, lit from above; the down face is darker, lit amber and pressed in
// by two pixels.
Picture Button(int w, int h, bool down, const Icon& icon, Rgb tint = kSteel) {
  Picture p(w, h);
  p.Rect(0, 0, w, h, Hex(0x0C1628));
  const float off = down ? 2 : 0;
  const Rgb top = down ? Mix(tint, Hex(0x000000), 0.35f) : Mix(tint, kWhite, 0.25f);
  const Rgb bottom = down ? Mix(tint, Hex(0x000000), 0.1f) : Mix(tint, Hex(0x000000), 0.45f);
  p.RoundRect(2, 2, w - 2, h - 2, 10, down ? kAmber : kLine);
  p.RoundRect(4, 4, w - 4, h - 4, 8, [&](float, float y) { return Mix(top, bottom, (y - 4) / (h - 8)); });
  if (!down) p.RoundRect(8, 6, w - 8, h / 2.0f - 4, 6, [&](float, float) { return Mix(top, kWhite, 0.15f); });
  icon(p, w / 2.0f + off, h / 2.0f + off, down ? kAmber : kWhite);
  return p;
}

void Triangle(Picture& p, float cx, float cy, float size, bool right, Rgb c) {
  const float s = right ? 1 : -1;
  p.Polygon({{cx - s * size * 0.5f, cy - size * 0.6f}, {cx + s * size * 0.6f, cy}, {cx - s * size * 0.5f, cy + size * 0.6f}}, c);
}

void Magnifier(Picture& p, float cx, float cy, Rgb c, bool plus) {
  p.Arc(cx - 4, cy - 4, 10, 14, 0, 360, c);
  p.Line(cx + 6, cy + 6, cx + 16, cy + 16, 6, c);
  p.Line(cx - 10, cy - 4, cx + 2, cy - 4, 4, c);
  if (plus) p.Line(cx - 4, cy - 10, cx - 4, cy + 2, 4, c);
}

void Speaker(Picture& p, float cx, float cy, Rgb c) {
  p.Rect(cx - 8, cy - 5, cx - 2, cy + 5, c);
  p.Polygon({{cx - 3, cy - 5}, {cx + 6, cy - 12}, {cx + 6, cy + 12}, {cx - 3, cy + 5}}, c);
}

void Folder(Picture& p, float x, float y, float w, float h, Rgb c) {
  p.RoundRect(x, y, x + w * 0.42f, y + h * 0.3f, 3, Mix(c, Hex(0x000000), 0.2f));
  p.RoundRect(x, y + h * 0.15f, x + w, y + h, 4, c);
  p.Rect(x + 2, y + h * 0.15f + 2, x + w - 2, y + h * 0.15f + 4, Mix(c, kWhite, 0.35f));
}

const std::map<std::string, Icon>& Icons() {
  static const std::map<std::string, Icon> icons = {
      {"info", [](Picture& p, float cx, float cy, Rgb c) {
         p.Arc(cx, cy, 15, 19, 0, 360, c);
         p.Circle(cx, cy - 8, 3, c);
         p.Rect(cx - 2.5f, cy - 3, cx + 2.5f, cy + 11, c);
       }},
      {"nextpage", [](Picture& p, float cx, float cy, Rgb c) {
         Triangle(p, cx - 8, cy, 20, true, c);
         Triangle(p, cx + 8, cy, 20, true, c);
       }},
      {"prevpage", [](Picture& p, float cx, float cy, Rgb c) {
         Triangle(p, cx - 8, cy, 20, false, c);
         Triangle(p, cx + 8, cy, 20, false, c);
       }},
      {"slideshow", [](Picture& p, float cx, float cy, Rgb c) {
         p.Arc(cx, cy, 0, 0, 0, 0, c);
         p.Rect(cx - 22, cy - 16, cx + 14, cy + 10, Mix(c, Hex(0x000000), 0.4f));
         p.Rect(cx - 16, cy - 11, cx + 20, cy + 16, c);
         Triangle(p, cx + 3, cy + 2, 16, true, kSteel);
       }},
      {"folderup", [](Picture& p, float cx, float cy, Rgb c) {
         Folder(p, cx - 24, cy - 16, 40, 32, Mix(c, kAmber, 0.5f));
         p.Line(cx + 18, cy + 14, cx + 18, cy - 10, 5, c);
         p.Polygon({{cx + 9, cy - 6}, {cx + 18, cy - 18}, {cx + 27, cy - 6}}, c);
       }},
      {"original", [](Picture& p, float cx, float cy, Rgb c) { p.Text(u"1:1", int(cx) - 40, int(cy) - 14, 80, 30, 28, c, true, true); }},
      {"rotate", [](Picture& p, float cx, float cy, Rgb c) {
         p.Arc(cx, cy, 11, 16, 200, 110, c);
         p.Polygon({{cx - 21, cy - 4}, {cx - 13, cy - 16}, {cx - 5, cy - 4}}, c);
       }},
      {"exit", [](Picture& p, float cx, float cy, Rgb c) {
         p.Line(cx - 12, cy - 12, cx + 12, cy + 12, 6, c);
         p.Line(cx - 12, cy + 12, cx + 12, cy - 12, 6, c);
       }},
      {"nextphoto", [](Picture& p, float cx, float cy, Rgb c) {
         Triangle(p, cx - 4, cy, 24, true, c);
         p.Rect(cx + 11, cy - 14, cx + 16, cy + 14, c);
       }},
      {"prevphoto", [](Picture& p, float cx, float cy, Rgb c) {
         Triangle(p, cx + 4, cy, 24, false, c);
         p.Rect(cx - 16, cy - 14, cx - 11, cy + 14, c);
       }},
      {"zoomin", [](Picture& p, float cx, float cy, Rgb c) { Magnifier(p, cx, cy, c, true); }},
      {"zoomout", [](Picture& p, float cx, float cy, Rgb c) { Magnifier(p, cx, cy, c, false); }},
      {"volplus", [](Picture& p, float cx, float cy, Rgb c) {
         Speaker(p, cx - 8, cy, c);
         p.Line(cx + 6, cy, cx + 20, cy, 4, c);
         p.Line(cx + 13, cy - 7, cx + 13, cy + 7, 4, c);
       }},
      {"volminus", [](Picture& p, float cx, float cy, Rgb c) {
         Speaker(p, cx - 8, cy, c);
         p.Line(cx + 6, cy, cx + 20, cy, 4, c);
       }},
      {"back", [](Picture& p, float cx, float cy, Rgb c) {
         p.Polygon({{cx - 34, cy}, {cx - 24, cy - 9}, {cx - 24, cy + 9}}, c);
         p.Text(u"BACK", int(cx) - 21, int(cy) - 9, 54, 20, 18, c, true, true);
       }},
      {"pause", [](Picture& p, float cx, float cy, Rgb c) {
         p.Rect(cx - 10, cy - 13, cx - 3, cy + 13, c);
         p.Rect(cx + 3, cy - 13, cx + 10, cy + 13, c);
       }},
      {"play", [](Picture& p, float cx, float cy, Rgb c) { Triangle(p, cx + 2, cy, 26, true, c); }},
      {"blank", [](Picture& p, float cx, float cy, Rgb c) { p.Circle(cx, cy, 4, c); }},
  };
  return icons;
}

Picture FolderPicture() {
  Picture p(170, 130);
  p.VGradient(0, 0, 170, 130, Hex(0x1A2E4C), Hex(0x0E1A2C));
  Folder(p, 35, 14, 100, 76, kAmber);
  p.RoundRect(45, 40, 125, 84, 3, Mix(kAmber, kWhite, 0.3f));
  return p;
}

Picture CellFrame(bool selected) {
  Picture p(170, 130, true);
  const Rgb c = selected ? kAmber : Hex(0x5A6E8C);
  p.Rect(0, 0, 170, 5, c);
  p.Rect(0, 124, 170, 130, c);
  p.Rect(0, 0, 5, 130, c);
  p.Rect(165, 0, 170, 130, c);
  if (selected) {
    p.Rect(1, 1, 169, 2, Mix(c, kWhite, 0.5f));
    p.Rect(1, 127, 169, 128, Mix(c, Hex(0x000000), 0.3f));
  }
  return p;
}

// A sign over a caption: the damaged-file and too-large pictures.
Picture Notice(int w, int h, bool prohibited, const std::u16string& caption) {
  Picture p(w, h);
  p.VGradient(0, 0, w, h, Hex(0x22385A), Hex(0x101C30));
  p.RoundRect(4, 4, w - 4, h - 4, 12, [&](float, float y) { return Mix(Hex(0x2A4670), Hex(0x15243E), y / h); });
  const float cx = w / 2.0f, cy = h * 0.40f, r = std::min(w, h) * 0.26f;
  if (prohibited) {
    p.Circle(cx, cy, r, kWhite);
    p.Arc(cx, cy, r * 0.8f, r, 0, 360, kRed);
    p.Line(cx - r * 0.6f, cy - r * 0.6f, cx + r * 0.6f, cy + r * 0.6f, r * 0.2f, kRed);
    // A heavy document behind the bar.
    p.Polygon({{cx - r * 0.35f, cy - r * 0.45f}, {cx + r * 0.15f, cy - r * 0.45f}, {cx + r * 0.35f, cy - r * 0.25f},
               {cx + r * 0.35f, cy + r * 0.45f}, {cx - r * 0.35f, cy + r * 0.45f}}, Hex(0x3A5A88));
    p.Line(cx - r * 0.6f, cy - r * 0.6f, cx + r * 0.6f, cy + r * 0.6f, r * 0.2f, kRed);
  } else {
    p.Circle(cx, cy, r, kAmber);
    p.Text(u"?", int(cx - r), int(cy - r * 0.75f), int(2 * r), int(2 * r), int(r * 1.6f), Hex(0x1A2A44), true, true);
  }
  const int th = std::max(18, h / 9);
  p.Text(caption, 0, int(h * 0.76f), w, th + 8, th, kWhite, true);
  return p;
}

Picture Battery(int level, bool charging) {
  Picture p(45, 28, true);
  const Rgb shell = kWhite;
  p.Rect(2, 4, 39, 6, shell), p.Rect(2, 22, 39, 24, shell), p.Rect(2, 4, 4, 24, shell), p.Rect(37, 4, 39, 24, shell);
  p.Rect(39, 10, 43, 18, shell);
  const Rgb fill = level <= 1 ? kRed : level == 2 ? kAmber : kGreen;
  for (int i = 0; i < level; ++i) p.Rect(6 + 8 * i, 8, 12 + 8 * i, 20, fill);
  if (level == 0) p.Rect(6, 8, 9, 20, kRed);
  if (charging) p.Polygon({{22, 3}, {13, 15}, {20, 15}, {17, 25}, {27, 12}, {20, 12}}, Hex(0xFFE040));
  return p;
}

Picture VolumeFrame() {
  Picture p(356, 56);
  p.VGradient(0, 0, 356, 56, Hex(0x22385A), Hex(0x101C30));
  p.RoundRect(0, 0, 356, 56, 12, [](float, float y) { return Mix(Hex(0x2C4A74), Hex(0x14223A), y / 56); });
  Speaker(p, 36, 28, kWhite);
  p.Arc(42, 28, 9, 12, 300, 60, kWhite);
  p.Arc(42, 28, 15, 18, 305, 55, kWhite);
  p.Rect(78, 8, 341, 48, kLine);
  // The empty track, uniform along the bar.
  p.VGradient(80, 10, 339, 46, Hex(0x060C18), Hex(0x1A283E));
  return p;
}

Picture VolumeFill() {
  Picture p(259, 36);
  p.VGradient(0, 0, 259, 36, Hex(0xFFD070), Hex(0xE06A10));
  p.Rect(0, 2, 259, 4, Hex(0xFFE8B0), 0.7f);
  return p;
}

Picture AppIcon() {
  Picture p(32, 32, true);
  p.RoundRect(1, 4, 31, 28, 4, kSteel);
  p.Rect(4, 7, 28, 25, Hex(0x7EC8F8));
  p.Polygon({{4, 25}, {13, 13}, {20, 21}, {24, 17}, {28, 25}}, kGreen);
  p.Circle(23, 11, 3, kAmber);
  return p;
}

struct Entry {
  int id;
  Picture picture;
  std::string role;
};

std::vector<Entry> Skin() {
  std::vector<Entry> skin;
  auto add = [&](int id, Picture p, std::string role) { skin.push_back({id, std::move(p), std::move(role)}); };
  auto pair = [&](int up, int down, const char* icon, int w = 100, int h = 64, Rgb tint = kSteel) {
    add(up, Button(w, h, false, Icons().at(icon), tint), std::string(icon) + " up");
    add(down, Button(w, h, true, Icons().at(icon), tint), std::string(icon) + " down");
  };
  add(129, MainBackground(), "main page");
  pair(130, 131, "blank");
  pair(132, 133, "info");
  pair(134, 135, "nextpage");
  pair(138, 139, "prevpage");
  pair(140, 141, "slideshow");
  pair(143, 142, "folderup");
  add(144, FolderPicture(), "folder");
  pair(150, 151, "original");
  pair(152, 153, "rotate");
  pair(154, 155, "exit");
  pair(156, 157, "nextphoto");
  pair(158, 159, "prevphoto");
  pair(160, 161, "zoomin");
  pair(162, 149, "zoomout");
  add(163, ViewBackground(), "photo view");
  add(170, CellFrame(false), "cell frame");
  add(171, CellFrame(true), "cell selected");
  add(173, InfoBackground(), "information");
  pair(176, 175, "exit", 100, 64, Hex(0x6A3440));
  add(177, Notice(400, 347, false, u"\u6a94\u6848\u640d\u6bc0"), "placeholder");  // "file damaged"
  add(178, Notice(400, 347, false, u"\u7121\u6cd5\u986f\u793a"), "unused");       // "cannot show"
  add(179, Notice(280, 280, false, u"\u6a94\u6848\u640d\u6bc0"), "damaged file");
  add(180, Notice(280, 280, true, u"\u6a94\u6848\u592a\u5927"), "file too large");  // "file too large"
  add(182, Battery(0, false), "unused battery");
  add(183, Battery(0, false), "battery 0");
  add(184, Battery(1, false), "battery 1");
  add(185, Battery(2, false), "battery 2");
  add(186, Battery(3, false), "battery 3");
  add(187, Battery(4, false), "battery 4");
  add(188, Battery(4, true), "battery 5");
  pair(190, 191, "volplus", 88, 56);
  pair(192, 193, "volminus", 88, 56);
  pair(194, 195, "back", 88, 56);
  pair(196, 197, "pause", 88, 56);
  pair(198, 199, "play", 88, 56);
  add(200, VolumeFrame(), "volume bar");
  add(201, VolumeFill(), "volume fill");
  std::sort(skin.begin(), skin.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
  return skin;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vellumet-make-skin SOURCE_ROOT\n");
    return 2;
  }
  const std::string res = std::string(argv[1]) + "/res/";
  std::error_code ignored;
  std::filesystem::create_directories(res + "bitmaps", ignored);
  std::filesystem::create_directories(res + "icons", ignored);
  int written = 0;
  auto write = [&](const std::string& path, const Picture& picture) {
    if (!WriteIndexedBmp(path, Quantise(picture))) {
      std::fprintf(stderr, "vellumet-make-skin: cannot write %s\n", path.c_str());
      return false;
    }
    ++written;
    return true;
  };
  for (const Entry& e : Skin())
    if (!write(res + "bitmaps/" + std::to_string(e.id) + ".bmp", e.picture)) return 1;
  if (!write(res + "icons/128.bmp", AppIcon())) return 1;
  std::printf("%d pictures written into %s\n", written, res.c_str());
  return 0;
}
