// The contact sheet of the skin (docs/skin-contact-sheet.png): every picture of the
// resource list read from its BMP file, each labelled with its id, backgrounds at half size.
//
//   vellumet-skin-sheet res/skin.rc docs/skin-contact-sheet.png
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/png_file.h"
#include "tools/skin/skin_files.h"

#undef printf

namespace {

constexpr int kSheetWidth = 1240, kPad = 12, kLabel = 18, kLabelHeight = 15;
constexpr int kGrey = 80;

struct Place {
  const IndexedPicture* picture;
  int id, x, y, scale;
};

// The labels in white over the grey sheet: drawn by the platform's text drawing into a
// black 565 surface, whose green channel then says how much of each pixel the text covers.
void DrawLabels(std::vector<WORD>& sheet, int height, const std::vector<Place>& places) {
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
  } info;
  info.header.biWidth = kSheetWidth;
  info.header.biHeight = -height;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_BITFIELDS;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP surface = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ oldBitmap = SelectObject(dc, surface);
  LOGFONTW lf;
  lf.lfHeight = kLabelHeight;
  lf.lfWeight = FW_NORMAL;
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  for (const Place& place : places) {
    const std::string id = std::to_string(place.id);
    const WString text(id.begin(), id.end());
    RECT box{place.x, place.y, place.x + 60, place.y + kLabel};
    DrawTextW(dc, text.c_str(), -1, &box, DT_LEFT);
  }
  const WORD* drawn = static_cast<const WORD*>(bits);
  for (size_t i = 0; i < sheet.size(); ++i) {
    if (!drawn[i]) continue;
    const float level = float(kGrey) + float(255 - kGrey) * (((drawn[i] >> 5) & 63) / 63.0f);
    const int v = std::clamp(int(std::lround(level)), 0, 255);
    sheet[i] = ToRgb565(RGB(v, v, v));
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBitmap);
  DeleteObject(surface);
  DeleteDC(dc);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vellumet-skin-sheet RESOURCE_LIST OUT.png\n");
    return 2;
  }
  std::string error;
  auto list = ReadResourceList(argv[1], &error);
  if (!list) {
    std::fprintf(stderr, "vellumet-skin-sheet: %s\n", error.c_str());
    return 1;
  }
  // Bitmaps by id, then the icon.
  std::stable_sort(list->begin(), list->end(), [](const SkinResource& a, const SkinResource& b) {
    return a.icon != b.icon ? b.icon : a.id < b.id;
  });
  std::vector<IndexedPicture> pictures(list->size());
  for (size_t i = 0; i < list->size(); ++i) {
    if (!ReadIndexedBmp((*list)[i].path, &pictures[i], &error)) {
      std::fprintf(stderr, "vellumet-skin-sheet: %s\n", error.c_str());
      return 1;
    }
  }

  std::vector<Place> places;
  int x = kPad, y = kPad, rowHeight = 0;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const IndexedPicture& p = pictures[i];
    const int scale = p.width >= 800 ? 2 : 1;
    const int w = p.width / scale, h = p.height / scale + kLabel;
    if (x + w + kPad > kSheetWidth) x = kPad, y += rowHeight + kPad, rowHeight = 0;
    places.push_back({&p, (*list)[i].id, x, y, scale});
    x += w + kPad;
    rowHeight = std::max(rowHeight, h);
  }
  const int height = y + rowHeight + kPad;
  std::vector<WORD> sheet(size_t(kSheetWidth) * height, ToRgb565(RGB(kGrey, kGrey, kGrey)));
  DrawLabels(sheet, height, places);
  for (const Place& place : places) {
    const IndexedPicture& p = *place.picture;
    for (int py = 0; py < p.height / place.scale; ++py)
      for (int px = 0; px < p.width / place.scale; ++px) {
        const BYTE i = p.pixels[size_t(py * place.scale) * p.width + px * place.scale];
        sheet[size_t(place.y + kLabel + py) * kSheetWidth + place.x + px] =
            ToRgb565(RGB(p.palette[3 * i], p.palette[3 * i + 1], p.palette[3 * i + 2]));
      }
  }
  if (!WritePng565(argv[2], sheet.data(), kSheetWidth, height, kSheetWidth)) {
    std::fprintf(stderr, "vellumet-skin-sheet: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("%zu pictures on the sheet\n", pictures.size());
  return 0;
}
