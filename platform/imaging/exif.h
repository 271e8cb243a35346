// The orientation tag of a photo's EXIF block, read straight from bytes: how the stored
// picture is to be turned or mirrored to stand upright. JPEG files keep the block in an APP1
// segment, WebP files in their "EXIF" chunk.
//
// The tag's values (the stored picture's first row and first column, as seen upright):
// 1 top and left (upright), 2 top and right (mirrored), 3 bottom and right (half turn),
// 4 bottom and left, 5 left and top, 6 right and top (a quarter turn clockwise makes it
// upright), 7 right and bottom, 8 left and bottom (a quarter turn counter-clockwise).
//
// Nothing here reads outside the given bytes, whatever the block says: an offset or a count
// that reaches past the end makes the tag missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/kernel/types.h"

// The orientation of an EXIF block (a TIFF header and its first directory, with or without
// the "Exif\0\0" a JPEG segment starts with): 1 to 8, or 0 when there is no usable tag
// (none, a damaged block, a value outside 1 to 8).
int ExifOrientation(const BYTE* block, size_t size);

// Reads count bytes at offset of a file into out; false when the file ends before that.
using ReadAtFunction = std::function<bool(std::uint64_t offset, BYTE* out, size_t count)>;

// The EXIF block of a JPEG file: the content of the first APP1 segment that starts with
// "Exif\0\0" (the prefix included) before the first scan. False when there is none.
bool ReadJpegExif(const ReadAtFunction& read, std::vector<BYTE>* block);

// The orientation tag of a JPEG file, 0 without one.
int JpegOrientation(const ReadAtFunction& read);

// The same for a JPEG file held in memory.
ReadAtFunction ReadFromMemory(const BYTE* data, size_t size);
