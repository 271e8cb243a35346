// JPEG files made with libjpeg's encoder in the layouts cameras and other programs write: the
// demo card's photos, and the tests' and benchmarks' samples. Pictures are given as 8-bit red,
// green, blue bytes, rows top to bottom.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/demo/phone_files.h"

// One scan of a progressive scan script: components by their index in the frame.
struct ScanScript {
  std::vector<int> comps;
  int ss, se, ah, al;
};

struct EncodeOptions {
  int quality = 85;
  bool progressive = false;
  bool gray = false;  // one component: the pixels' luma
  int h1 = 2, v1 = 2;  // luma (or grey) sampling; chroma is 1 x 1
  int restartInterval = 0;  // in MCUs
  bool optimize = false;
  const char* comment = nullptr;  // COM segment text
  std::vector<ScanScript> scans = {};  // a script of the caller's instead of libjpeg's progression
  bool rgb = false;  // coded as R, G, B components (no JFIF header) instead of Y, Cb, Cr
  FileBytes exif = {};  // an APP1 segment's body (ExifBlock); none when empty
};

FileBytes EncodeJpeg(const std::uint8_t* rgb, int width, int height, const EncodeOptions& options);
