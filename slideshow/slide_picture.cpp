#include "slideshow/slide_picture.h"

#include "platform/kernel/kernel.h"

namespace {

constexpr int kScreenW = 800, kScreenH = 480;
// A pause after each decode hands the processor back to the window and music threads.
constexpr DWORD kAfterDecodeMs = 50;

}  // namespace

SlideFit FitToScreen(UINT w, UINT h) {
  SlideFit fit;
  if (w == 0 || h == 0) return fit;
  // The larger of the two percentages would overflow the screen in the other direction.
  const UINT rw = 100 * kScreenW / w, rh = 100 * kScreenH / h;
  const float scale = rw >= rh ? 100.0f * kScreenH / static_cast<float>(h) : 100.0f * kScreenW / static_cast<float>(w);
  fit.width = static_cast<int>(static_cast<float>(w) * scale) / 100;
  fit.height = static_cast<int>(static_cast<float>(h) * scale) / 100;
  fit.rect = RECT{kScreenW / 2 - fit.width / 2, kScreenH / 2 - fit.height / 2, fit.width / 2 + kScreenW / 2,
                  fit.height / 2 + kScreenH / 2};
  return fit;
}

bool LoadSlidePicture(CImageDecoder& decoder, LPCWSTR path, int width, int height) {
  decoder.Close();
  if (width == 0 || height == 0) return false;
  if (decoder.Open(path, static_cast<UINT>(width), static_cast<UINT>(height)) == 0) return false;
  decoder.Decode(0);
  Sleep(kAfterDecodeMs);
  return decoder.IsDecoded();
}
