#include "bench/libjpeg_box.h"

#include <algorithm>

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

LibjpegBoxDecoder::LibjpegBoxDecoder() {
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
  d_.out_color_space = JCS_RGB565;
  d_.dither_mode = JDITHER_NONE;
  jpeg_start_decompress(&d_);
  int sw = int(d_.output_width), sh = int(d_.output_height);
  if (scaled_.size() < size_t(sw) * sh) scaled_.resize(size_t(sw) * sh);
  while (d_.output_scanline < d_.output_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(&scaled_[size_t(d_.output_scanline) * sw]);
    jpeg_read_scanlines(&d_, &row, 1);
  }
  jpeg_finish_decompress(&d_);
  if (columns_.size() < size_t(ow)) columns_.resize(size_t(ow));
  for (int x = 0; x < ow; ++x) columns_[size_t(x)] = int32_t(int64_t(x) * sw / ow);
  int offX = (tw - ow) / 2, offY = (th - oh) / 2;
  for (int y = 0; y < oh; ++y) {
    const uint16_t* src = &scaled_[size_t(int64_t(y) * sh / oh) * sw];
    uint16_t* dst = box + size_t(offY + y) * tw + offX;
    for (int x = 0; x < ow; ++x) dst[x] = src[columns_[size_t(x)]];
  }
}
