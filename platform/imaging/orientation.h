// Photos stand upright by their orientation tag (exif.h gives the values): whether the
// program does so, and the copy that makes a stored picture upright. Every decode that
// turns a photo upright (the JPEG pipeline, the imaging service's readers) uses these, so
// that the screens only ever see upright pictures.
#pragma once

#include <algorithm>
#include <cstddef>

#include "platform/kernel/types.h"

// On unless the program was started with --no-auto-rotate: then every photo is shown as
// it is stored, as the device always did.
void SetAutoRotate(bool on);
bool AutoRotate();

// The turn a photo with this tag is given: the tag itself for 2 to 8 while photos are
// turned, else 1 (nothing to do).
int ShownOrientation(int tag);

// Orientations 5 to 8 turn the picture a quarter: its width and height change places.
constexpr bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Copies rows firstRow .. firstRow + rows - 1 of the upright picture into out (outPitch
// pixels from one row to the next), from the stored picture of width x height pixels
// (pitch pixels a row) whose tag is orientation. The copy goes in tiles, so that a quarter
// turn reads and writes memory that stays in the cache.
template <typename Pixel>
void OrientRows(const Pixel* stored, UINT width, UINT height, size_t pitch, int orientation, UINT firstRow, UINT rows,
                Pixel* out, size_t outPitch) {
  // Where the upright picture's first pixel is in the stored one, and how far a step to the
  // right (stepX) and a step down (stepY) of the upright picture move in the stored one.
  const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(pitch);
  const std::ptrdiff_t right = static_cast<std::ptrdiff_t>(width) - 1;
  const std::ptrdiff_t bottom = (static_cast<std::ptrdiff_t>(height) - 1) * p;
  std::ptrdiff_t origin = 0, stepX = 1, stepY = p;
  switch (orientation) {
    case 2: origin = right, stepX = -1, stepY = p; break;
    case 3: origin = bottom + right, stepX = -1, stepY = -p; break;
    case 4: origin = bottom, stepX = 1, stepY = -p; break;
    case 5: origin = 0, stepX = p, stepY = 1; break;
    case 6: origin = bottom, stepX = -p, stepY = 1; break;
    case 7: origin = bottom + right, stepX = -p, stepY = -1; break;
    case 8: origin = right, stepX = p, stepY = -1; break;
    default: break;
  }
  const UINT uprightWidth = SwapsSides(orientation) ? height : width;
  const UINT endRow = firstRow + rows;
  constexpr UINT kTile = 64;
  for (UINT y0 = firstRow; y0 < endRow; y0 += kTile) {
    const UINT y1 = std::min(y0 + kTile, endRow);
    for (UINT x0 = 0; x0 < uprightWidth; x0 += kTile) {
      const UINT x1 = std::min(x0 + kTile, uprightWidth);
      for (UINT y = y0; y < y1; ++y) {
        std::ptrdiff_t from = origin + static_cast<std::ptrdiff_t>(y) * stepY + static_cast<std::ptrdiff_t>(x0) * stepX;
        Pixel* to = out + static_cast<size_t>(y - firstRow) * outPitch;
        for (UINT x = x0; x < x1; ++x, from += stepX) to[x] = stored[from];
      }
    }
  }
}
