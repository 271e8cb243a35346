// The reference the JPEG benchmarks measure the core against: libjpeg-turbo's fastest way
// to the same RGB565 box, and the box sizes the photo pipeline asks for.
#pragma once

#include <cstdint>
#include <vector>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

// The photo pipeline's decoding size for a w x h photo: an area above 1920 x 1088 reduced
// to fit it, keeping proportions, sides made even.
void PipelineBox(uint32_t w, uint32_t h, int& bw, int& bh);

// The picture's part of a tw x th box (the fit the core makes).
void FittedSize(int w, int h, int tw, int th, int& ow, int& oh);

// Decodes at the smallest scale M/8 whose output still covers the picture's part of the
// box, with the fast integer DCT, no fancy upsampling and no block smoothing, then samples
// that nearest-neighbour into the box. The decompressor and the buffers are kept between
// calls. Roads:
// - kRgb565: every scanline libjpeg-turbo has ready taken in one call, RGB565 output;
// - kRgbx: the same with RGBX output, turned into RGB565 while sampling;
// - kOneScanline565: one scanline a call, RGB565 (the reference the benchmarks had before).
// The fastest road is the faster of the first two for a given picture and box.
class LibjpegBoxDecoder {
 public:
  enum class Road { kRgb565, kRgbx, kOneScanline565 };

  explicit LibjpegBoxDecoder(Road road = Road::kRgb565);
  ~LibjpegBoxDecoder();
  LibjpegBoxDecoder(const LibjpegBoxDecoder&) = delete;
  LibjpegBoxDecoder& operator=(const LibjpegBoxDecoder&) = delete;

  // box has tw x th pixels; its part outside the picture is left as it is.
  void Decode(const std::vector<uint8_t>& jpeg, int tw, int th, uint16_t* box);

  // Times kRgb565 and kRgbx on this picture and box (median of `reps` each) and keeps the
  // faster one for the following decodes.
  Road ChooseFastestRoad(const std::vector<uint8_t>& jpeg, int tw, int th, uint16_t* box, int reps = 3);
  Road road() const { return road_; }
  void set_road(Road road) { road_ = road; }

 private:
  Road road_;
  jpeg_decompress_struct d_;
  jpeg_error_mgr err_;
  std::vector<uint8_t> scaled_;
  std::vector<JSAMPROW> rows_;
  std::vector<int32_t> columns_;
};
