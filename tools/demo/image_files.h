// Writers of the photo formats the demo card holds. Each returns false on failure.
#pragma once

#include <string>
#include <vector>

#include "tools/demo/picture.h"

struct JpegOptions {
  int quality = 88;
  bool progressive = false;
  bool subsample = true;  // 4:2:0, else 4:4:4
  // A camera's thumbnail of this width (0: none) in an EXIF segment, as cameras store one.
  int exifThumbWidth = 0;
};

bool WriteJpeg(const std::string& path, const Picture& picture, const JpegOptions& options);
bool WritePng(const std::string& path, const Picture& picture);
bool WriteBmp(const std::string& path, const Picture& picture);
// An animated GIF with one frame per picture (all of the same size), 3-3-2 palette.
bool WriteGif(const std::string& path, const std::vector<Picture>& frames, int delayHundredths);
