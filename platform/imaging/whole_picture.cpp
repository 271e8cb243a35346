// The rows of a picture its format's library decodes in one go (WebP, HEIF).
#include "platform/imaging/imaging_internal.h"

namespace imaging {

HRESULT WholePictureJob::Next(RowTarget& target, UINT maxRows) {
  const WholePicture& p = picture_;
  if (!decoded_) {
    if (HRESULT hr = DecodeWhole(&picture_); FAILED(hr)) return hr;
    if (HRESULT hr = CheckFullSize(p.width, p.height); FAILED(hr)) return hr;
    decoded_ = true;
    row_.resize(size_t{p.width} * 3);
    if (HRESULT hr = target.Begin(p.width, p.height); FAILED(hr)) return hr;
  }
  const bool alpha = p.channels == Channels::Bgra || p.channels == Channels::Rgba;
  const bool bgr = p.channels == Channels::Bgr || p.channels == Channels::Bgra;
  const size_t step = alpha ? 4 : 3;
  for (UINT n = 0; n < maxRows && next_ < p.height; ++n, ++next_) {
    const BYTE* in = p.pixels + p.stride * next_;
    const BYTE* out = in;
    if (alpha || !bgr) {
      for (UINT x = 0; x < p.width; ++x, in += step) {
        const unsigned a = alpha ? in[3] : 255;
        for (int c = 0; c < 3; ++c) {
          const unsigned v = in[bgr ? c : 2 - c];
          row_[3 * x + c] = static_cast<BYTE>(alpha ? (v * a + 127) / 255 : v);
        }
      }
      out = row_.data();
    }
    if (HRESULT hr = target.Row(next_, out); FAILED(hr)) return hr;
  }
  return next_ < p.height ? E_PENDING : S_OK;
}

}  // namespace imaging
