#include "viewer/open_size.h"

namespace {

constexpr long long kReduceAbovePixels = 1920000;
constexpr long long kLongestReducedSide = 1600;
constexpr long long kTooLargePixels = 10000000;

}  // namespace

int ChooseOpenSize(LONG width, LONG height, DWORD* openWidth, DWORD* openHeight) {
  long long w = width > 0 ? width : 0;
  long long h = height > 0 ? height : 0;
  if (w * h > kReduceAbovePixels) {
    const long long longer = w > h ? w : h;
    const long long k = (longer + kLongestReducedSide - 1) / kLongestReducedSide;
    w /= k;
    h /= k;
  }
  *openWidth = static_cast<DWORD>(w);
  *openHeight = static_cast<DWORD>(h);
  if (w == 0 || h == 0) return kPhotoDamaged;
  if (w * h >= kTooLargePixels) return kPhotoTooLarge;
  return kPhotoShown;
}
