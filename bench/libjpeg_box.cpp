#include "bench/libjpeg_box.h"

#include <algorithm>
#include <cstring>

#include "bench/bench_timing.h"

void PipelineBox(uint32_t w, uint32_t h, int& bw, int& bh) {
  if (w * h * 2 > 4177920u) {
    uint32_t qw = 1920 / w, qh = 1088 / h;
    uint32_t nw, nh;
    if (qw > qh) {
      nw = w * 1088 / h;
      nh = 1088;
      if (nw > 1920) {
        nh = 2088960 / nw;
        nw = 1920;
      }
    } else {
      nw = 1920;
      nh = h * 1920 / w;
      if (nh > 1088) {
        nw = 2088960 / nh;
        nh = 1088;
      }
    }
    w = nw;
    h = nh;
  }
  bw = int(w & ~1u);
  bh = int(h & ~1u);
}

void FittedSize(int w, int h, int tw, int th, int& ow, int& oh) {
  int32_t rx = (w << 16) / tw, ry = (h << 16) / th;
  if (rx > ry) {
    ow = tw;
    oh = (h << 16) / rx;
  } else {
    oh = th;
    ow = (w << 16) / ry;
  }
  ow = std::max(ow, 1);
  oh = std::max(oh, 1);
}

LibjpegBoxDecoder::LibjpegBoxDecoder(Road road) : road_(road) {
  d_.err = jpeg_std_error(&err_);
  jpeg_create_decompress(&d_);
}

LibjpegBoxDecoder::~LibjpegBoxDecoder() { jpeg_destroy_decompress(&d_); }

void LibjpegBoxDecoder::Decode(const std::vector<uint8_t>& jpeg, int tw, int th, uint16_t* box) {
  jpeg_mem_src(&d_, jpeg.data(), (unsigned long)jpeg.size());
  jpeg_read_header(&d_, TRUE);
  int ow, oh;
  FittedSize(int(d_.image_width), int(d_.image_height), tw, th, ow, oh);
  unsigned m = 1;
  while (m < 8 && (int((d_.image_width * m + 7) / 8) < ow || int((d_.image_height * m + 7) / 8) < oh)) ++m;
  d_.scale_num = m;
  d_.scale_denom = 8;
  d_.dct_method = JDCT_IFAST;
  d_.do_fancy_upsampling = FALSE;
  d_.do_block_smoothing = FALSE;
  const bool rgbx = road_ == Road::kRgbx;
  d_.out_color_space = rgbx ? JCS_EXT_RGBX : JCS_RGB565;
  d_.dither_mode = JDITHER_NONE;
  jpeg_start_decompress(&d_);
  const int sw = int(d_.output_width), sh = int(d_.output_height);
  const size_t pixelBytes = rgbx ? 4 : 2;
  if (scaled_.size() < size_t(sw) * sh * pixelBytes) scaled_.resize(size_t(sw) * sh * pixelBytes);
  if (rows_.size() < size_t(sh)) rows_.resize(size_t(sh));
  for (int y = 0; y < sh; ++y) rows_[size_t(y)] = &scaled_[size_t(y) * sw * pixelBytes];
  while (d_.output_scanline < d_.output_height) {
    const JDIMENSION wanted = road_ == Road::kOneScanline565 ? 1 : d_.output_height - d_.output_scanline;
    jpeg_read_scanlines(&d_, &rows_[d_.output_scanline], wanted);
  }
  jpeg_finish_decompress(&d_);
  if (columns_.size() < size_t(ow)) columns_.resize(size_t(ow));
  for (int x = 0; x < ow; ++x) columns_[size_t(x)] = int32_t(int64_t(x) * sw / ow);
  const int offX = (tw - ow) / 2, offY = (th - oh) / 2;
  for (int y = 0; y < oh; ++y) {
    const uint8_t* src = rows_[size_t(int64_t(y) * sh / oh)];
    uint16_t* dst = box + size_t(offY + y) * tw + offX;
    if (rgbx) {
      for (int x = 0; x < ow; ++x) {
        const uint8_t* p = src + 4 * size_t(columns_[size_t(x)]);
        dst[x] = uint16_t(((p[0] & 0xF8) << 8) | ((p[1] & 0xFC) << 3) | (p[2] >> 3));
      }
    } else {
      const uint16_t* s = reinterpret_cast<const uint16_t*>(src);
      for (int x = 0; x < ow; ++x) dst[x] = s[columns_[size_t(x)]];
    }
  }
}

LibjpegBoxDecoder::Road LibjpegBoxDecoder::ChooseFastestRoad(const std::vector<uint8_t>& jpeg, int tw, int th,
                                                             uint16_t* box, int reps) {
  double best = 0;
  Road fastest = Road::kRgb565;
  for (Road r : {Road::kRgb565, Road::kRgbx}) {
    road_ = r;
    Decode(jpeg, tw, th, box);  // warm-up
    const double ms = bench::MedianMs(reps, [&] { Decode(jpeg, tw, th, box); });
    if (r == Road::kRgb565 || ms < best) {
      best = ms;
      fastest = r;
    }
  }
  road_ = fastest;
  return fastest;
}
