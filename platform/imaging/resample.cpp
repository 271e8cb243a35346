// Pictures made smaller (or larger) while their rows arrive, and thumbnails made that way.
#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

// The source range [start, end) under each of count target cells: the cells' areas when
// reducing, the one source cell under the target cell's centre when enlarging.
void Ranges(UINT source, UINT count, std::vector<UINT>* start, std::vector<UINT>* end) {
  start->resize(count);
  end->resize(count);
  for (UINT i = 0; i < count; ++i) {
    UINT a = static_cast<UINT>(static_cast<ULONGLONG>(i) * source / count);
    UINT b = static_cast<UINT>(static_cast<ULONGLONG>(i + 1) * source / count);
    if (b <= a) {
      a = static_cast<UINT>((2ull * i + 1) * source / (2ull * count));
      b = a + 1;
    }
    (*start)[i] = a;
    (*end)[i] = b;
  }
}

}  // namespace

ResampleTarget::ResampleTarget(UINT width, UINT height, PixelFormatID format)
    : width_(width), height_(height), format_(format) {}

ResampleTarget::~ResampleTarget() {
  if (bitmap_) {
    bitmap_->UnlockBits(&pixels_);
    bitmap_->Release();
  }
}

HRESULT ResampleTarget::Begin(UINT width, UINT height) {
  if (bitmap_ || width == 0 || height == 0) return E_UNEXPECTED;
  sourceWidth_ = width;
  sourceHeight_ = height;
  Ranges(width, width_, &columnStart_, &columnEnd_);
  Ranges(height, height_, &rowStart_, &rowEnd_);
  HRESULT hr = CreateBitmap(width_, height_, format_, &bitmap_);
  if (FAILED(hr)) return hr;
  hr = bitmap_->LockBits(nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &pixels_);
  if (FAILED(hr)) {
    bitmap_->Release();
    bitmap_ = nullptr;
  }
  return hr;
}

HRESULT ResampleTarget::Row(UINT y, const BYTE* bgr) {
  if (!bitmap_ || y >= sourceHeight_) return E_UNEXPECTED;
  for (UINT ty = nextTargetRow_; ty < height_ && rowStart_[ty] <= y; ++ty) {
    if (y >= rowEnd_[ty]) continue;
    std::vector<ULONGLONG>& sums = sums_[ty];
    if (sums.empty()) sums.assign(static_cast<size_t>(width_) * 3, 0);
    for (UINT tx = 0; tx < width_; ++tx) {
      ULONGLONG b = 0, g = 0, r = 0;
      for (UINT x = columnStart_[tx]; x < columnEnd_[tx]; ++x) {
        b += bgr[3 * x];
        g += bgr[3 * x + 1];
        r += bgr[3 * x + 2];
      }
      sums[3 * tx] += b;
      sums[3 * tx + 1] += g;
      sums[3 * tx + 2] += r;
    }
    if (y + 1 == rowEnd_[ty]) {
      Emit(ty, sums);
      sums_.erase(ty);
    }
  }
  while (nextTargetRow_ < height_ && rowEnd_[nextTargetRow_] <= y + 1) ++nextTargetRow_;
  return S_OK;
}

void ResampleTarget::Emit(UINT ty, const std::vector<ULONGLONG>& sums) {
  BYTE* out = static_cast<BYTE*>(pixels_.Scan0) + static_cast<std::ptrdiff_t>(ty) * pixels_.Stride;
  const ULONGLONG rows = rowEnd_[ty] - rowStart_[ty];
  for (UINT tx = 0; tx < width_; ++tx) {
    const ULONGLONG count = rows * (columnEnd_[tx] - columnStart_[tx]);
    for (int c = 0; c < 3; ++c) out[3 * tx + c] = static_cast<BYTE>((sums[3 * tx + c] + count / 2) / count);
  }
}

HRESULT ResampleTarget::Finish(IBitmapImage** bitmap) {
  *bitmap = nullptr;
  if (!bitmap_ || nextTargetRow_ < height_) return IMGERR_CORRUPT;  // rows are missing
  HRESULT hr = bitmap_->UnlockBits(&pixels_);
  if (FAILED(hr)) return hr;
  *bitmap = bitmap_;
  bitmap_ = nullptr;
  return S_OK;
}

HRESULT MakeThumbnail(PictureReader& reader, UINT boxWidth, UINT boxHeight, IImage** thumbnail) {
  *thumbnail = nullptr;
  if (boxWidth == 0 || boxHeight == 0) return E_INVALIDARG;
  UINT w, h;
  FitInside(reader.Facts().width, reader.Facts().height, boxWidth, boxHeight, &w, &h);
  if (HRESULT hr = CheckFullSize(w, h); FAILED(hr)) return hr;
  std::unique_ptr<DecodeJob> job;
  HRESULT hr = reader.Start(w, h, &job);
  if (FAILED(hr)) return hr;
  ResampleTarget target(w, h, PixelFormat16bppRGB565);
  hr = RunJob(*job, target);
  if (FAILED(hr)) return hr;
  IBitmapImage* bitmap = nullptr;
  hr = target.Finish(&bitmap);
  if (FAILED(hr)) return hr;
  hr = bitmap->QueryInterface(IID_IImage, reinterpret_cast<void**>(thumbnail));
  bitmap->Release();
  return hr;
}

}  // namespace imaging
