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
  // The picture is stored as a camera with this orientation tag stores it (sideways for 6,
  // mirrored along the diagonal for 5 ...), the tag in the EXIF segment; 0: upright, no tag.
  int orientation = 0;
};

bool WriteJpeg(const std::string& path, const Picture& picture, const JpegOptions& options);
bool WritePng(const std::string& path, const Picture& picture);
bool WriteBmp(const std::string& path, const Picture& picture);
// An animated GIF with one frame per picture (all of the same size), 3-3-2 palette.
bool WriteGif(const std::string& path, const std::vector<Picture>& frames, int delayHundredths);
// A HEIC file as a phone writes it: the picture stored as the orientation tag says (1 to 8),
// with turn and mirror properties that stand it upright, and a thumbnail image.
bool WriteHeic(const std::string& path, const Picture& picture, int orientation);
// A lossy WebP file, as the web hands them out; an animated one of frames of the same size.
bool WriteWebp(const std::string& path, const Picture& picture);
bool WriteAnimatedWebp(const std::string& path, const std::vector<Picture>& frames);
