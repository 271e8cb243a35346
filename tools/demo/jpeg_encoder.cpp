#include "tools/demo/jpeg_encoder.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <cstring>

FileBytes EncodeJpeg(const std::uint8_t* rgb, int width, int height, const EncodeOptions& o) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = o.gray ? 1 : 3;
  c.in_color_space = o.gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  if (o.rgb) jpeg_set_colorspace(&c, JCS_RGB);
  jpeg_set_quality(&c, o.quality, TRUE);
  c.comp_info[0].h_samp_factor = o.h1;
  c.comp_info[0].v_samp_factor = o.v1;
  for (int i = 1; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  c.optimize_coding = o.optimize ? TRUE : FALSE;
  c.restart_interval = JDIMENSION(o.restartInterval);
  if (o.progressive) jpeg_simple_progression(&c);
  std::vector<jpeg_scan_info> script;
  for (const ScanScript& sc : o.scans) {
    jpeg_scan_info info{int(sc.comps.size()), {}, sc.ss, sc.se, sc.ah, sc.al};
    std::copy(sc.comps.begin(), sc.comps.end(), info.component_index);
    script.push_back(info);
  }
  if (!script.empty()) {
    c.scan_info = script.data();
    c.num_scans = int(script.size());
  }
  jpeg_start_compress(&c, TRUE);
  if (!o.exif.empty()) jpeg_write_marker(&c, JPEG_APP0 + 1, o.exif.data(), unsigned(o.exif.size()));
  if (o.comment) {
    jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET*>(o.comment), unsigned(std::strlen(o.comment)));
  }
  std::vector<std::uint8_t> gray;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = &rgb[size_t(y) * width * 3];
    JSAMPROW rp;
    if (o.gray) {
      gray.resize(size_t(width));
      for (int x = 0; x < width; ++x) {
        gray[size_t(x)] = std::uint8_t((row[3 * x] * 77 + row[3 * x + 1] * 150 + row[3 * x + 2] * 29) >> 8);
      }
      rp = gray.data();
    } else {
      rp = const_cast<JSAMPROW>(row);
    }
    jpeg_write_scanlines(&c, &rp, 1);
  }
  jpeg_finish_compress(&c);
  FileBytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}
