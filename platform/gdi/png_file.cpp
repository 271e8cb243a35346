#include "platform/gdi/png_file.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "platform/gdi/gdi.h"

bool WritePng565(const std::string& hostPath, const WORD* pixels, int width, int height, int pitch) {
  if (!pixels || width <= 0 || height <= 0) return false;
  std::FILE* file = std::fopen(hostPath.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  bool ok = false;
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
      const WORD* src = pixels + static_cast<std::ptrdiff_t>(y) * pitch;
      for (int x = 0; x < width; ++x) {
        const COLORREF c = FromRgb565(src[x]);
        row[3 * x] = static_cast<png_byte>(GetRValue(c));
        row[3 * x + 1] = static_cast<png_byte>(GetGValue(c));
        row[3 * x + 2] = static_cast<png_byte>(GetBValue(c));
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}
