// Facts about a photo file read from its header alone: format, pixel size, colour depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/kernel/types.h"

// The media library's photo record. Callers may give a larger buffer; only these bytes are
// written.
struct _tag_PHOTO_INFO {
  WCHAR Format[128];      // "JPEG", "PNG", "GIF", "BMP", "WEBP", "HEIC", or "NON" when no decoder takes it
  std::int32_t Width;     // pixels, of the photo as it is shown (upright by its orientation)
  std::int32_t Height;    // pixels
  std::int32_t BitDepth;  // bits of colour per pixel (24 for a colour JPEG, 8 for a palette)
};
using PHOTO_INFO = _tag_PHOTO_INFO;
static_assert(offsetof(_tag_PHOTO_INFO, Width) == 256);
static_assert(offsetof(_tag_PHOTO_INFO, Height) == 260);
static_assert(offsetof(_tag_PHOTO_INFO, BitDepth) == 264);
static_assert(sizeof(_tag_PHOTO_INFO) == 268);

// Fills the record from the host file; -1 when the file cannot be read, else 0. A file
// that is read but not recognised, or whose header is cut short or damaged, gets "NON" and
// zero sizes.
int ReadPhotoInfo(const std::string& hostPath, _tag_PHOTO_INFO* info);
