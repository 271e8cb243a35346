// Photos as phones and the web make them, for the demo card and the tests: HEIC through
// libheif's encoder, WebP through libwebp's, and the EXIF block that says how a photo is
// stored. Pictures are given as 8-bit red, green, blue bytes, rows top to bottom.
#pragma once

#include <cstdint>
#include <vector>

using FileBytes = std::vector<std::uint8_t>;

// An EXIF block as a JPEG's APP1 segment holds it: "Exif\0\0", then a little-endian TIFF
// block whose first directory holds the orientation tag (none when 0; other values than 1 to
// 8 are written as they are) and whose second one the thumbnail's JPEG file (none when empty).
FileBytes ExifBlock(int orientation, const FileBytes& thumbnailJpeg = {});

// The picture as a camera with that orientation tag stores it: the tag, applied to the
// result, gives the picture back.
FileBytes StoredForOrientation(const std::uint8_t* rgb, int width, int height, int orientation, int* storedWidth,
                               int* storedHeight);

// A WebP file: lossy or lossless, with an EXIF chunk holding the orientation when it is not 0.
FileBytes EncodeWebp(const std::uint8_t* rgb, int width, int height, bool lossless, int orientation);
// An animated WebP file of frames of width x height each, 100 ms apart (lossless).
FileBytes EncodeAnimatedWebp(const std::vector<const std::uint8_t*>& frames, int width, int height);

// A HEIC file of the stored picture whose turn and mirror properties stand it upright as the
// orientation tag (1 to 8) says, with a thumbnail fitted into thumbnailSide when that is not
// 0. Empty when libheif has no HEVC encoder.
FileBytes EncodeHeic(const std::uint8_t* rgb, int width, int height, int orientation, int thumbnailSide);

