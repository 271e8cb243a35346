// The size and depth of a picture file as the imaging service reads them, for the photo
// facts of the formats whose headers only their own library reads (WebP, HEIF).
#pragma once

#include <vector>

#include "platform/imaging/com.h"

struct PictureFileFacts {
  GUID format{};  // ImageFormatWEBP, ImageFormatHEIF, ... (platform/imaging/imaging.h)
  UINT width = 0;  // as the picture is shown: upright by its orientation
  UINT height = 0;
  UINT bitsPerPixel = 0;
};

// False when the service takes no such file or its header is damaged.
bool ReadPictureFacts(std::vector<BYTE> file, PictureFileFacts* facts);
