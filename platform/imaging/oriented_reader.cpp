// Photos made upright by their orientation tag: a reader in front of a format's reader that
// gives the upright size and delivers the upright rows, for every decode the service does
// (full pictures, thumbnails made from them, the thumbnails stored inside them).
#include <new>
#include <utility>

#include "platform/imaging/imaging_internal.h"
#include "platform/imaging/orientation.h"

namespace imaging {

namespace {

constexpr UINT kBandRows = 64;

struct Bgr {
  BYTE b, g, r;
};
static_assert(sizeof(Bgr) == 3);

// Holds the stored picture's rows as they come.
class StoredPicture final : public RowTarget {
 public:
  HRESULT Begin(UINT width, UINT height) override {
    if (HRESULT hr = CheckFullSize(width, height); FAILED(hr)) return hr;
    pixels_.reset(new (std::nothrow) Bgr[static_cast<size_t>(width) * height]);
    if (!pixels_) return E_OUTOFMEMORY;
    width_ = width;
    height_ = height;
    return S_OK;
  }
  HRESULT Row(UINT y, const BYTE* bgr) override {
    if (!pixels_ || y >= height_) return E_UNEXPECTED;
    std::copy(bgr, bgr + size_t{width_} * 3, reinterpret_cast<BYTE*>(pixels_.get() + size_t{y} * width_));
    rows_ = y + 1;
    return S_OK;
  }
  bool Complete() const { return pixels_ && rows_ == height_; }

  std::unique_ptr<Bgr[]> pixels_;
  UINT width_ = 0, height_ = 0, rows_ = 0;
};

// Decodes the whole stored picture first (the inner job's bands), then hands out the
// upright picture band by band.
class OrientedJob final : public DecodeJob {
 public:
  OrientedJob(std::unique_ptr<DecodeJob> inner, int orientation) : inner_(std::move(inner)), orientation_(orientation) {}

  HRESULT Next(RowTarget& target, UINT maxRows) override {
    if (inner_) {
      HRESULT hr = inner_->Next(stored_, maxRows);
      if (hr != S_OK) return hr;
      inner_.reset();
      if (!stored_.Complete()) return IMGERR_CORRUPT;
      const bool swap = SwapsSides(orientation_);
      width_ = swap ? stored_.height_ : stored_.width_;
      height_ = swap ? stored_.width_ : stored_.height_;
      if (hr = target.Begin(width_, height_); FAILED(hr)) return hr;
      return E_PENDING;
    }
    // A band at a time, so that the upright copy never holds more than a band.
    for (UINT done = 0; done < maxRows && next_ < height_;) {
      const UINT rows = std::min({kBandRows, maxRows - done, height_ - next_});
      band_.resize(size_t{width_} * rows);
      OrientRows(stored_.pixels_.get(), stored_.width_, stored_.height_, stored_.width_, orientation_, next_, rows,
                 band_.data(), width_);
      for (UINT i = 0; i < rows; ++i, ++next_, ++done) {
        const BYTE* row = reinterpret_cast<const BYTE*>(band_.data() + size_t{i} * width_);
        if (HRESULT hr = target.Row(next_, row); FAILED(hr)) return hr;
      }
    }
    return next_ < height_ ? E_PENDING : S_OK;
  }

 private:
  std::unique_ptr<DecodeJob> inner_;
  const int orientation_;
  StoredPicture stored_;
  std::vector<Bgr> band_;
  UINT width_ = 0, height_ = 0, next_ = 0;
};

class OrientedReader final : public PictureReader {
 public:
  OrientedReader(std::unique_ptr<PictureReader> inner, int orientation)
      : inner_(std::move(inner)), orientation_(orientation) {
    facts_ = inner_->Facts();
    if (SwapsSides(orientation_)) {
      std::swap(facts_.width, facts_.height);
      std::swap(facts_.dpiX, facts_.dpiY);
    }
  }

  HRESULT SelectFrame(UINT index) override { return inner_->SelectFrame(index); }

  HRESULT Start(UINT minWidth, UINT minHeight, std::unique_ptr<DecodeJob>* job) override {
    if (SwapsSides(orientation_)) std::swap(minWidth, minHeight);
    std::unique_ptr<DecodeJob> inner;
    HRESULT hr = inner_->Start(minWidth, minHeight, &inner);
    if (FAILED(hr)) return hr;
    *job = std::make_unique<OrientedJob>(std::move(inner), orientation_);
    return S_OK;
  }

  // The thumbnail inside a photo is stored the way the photo is.
  HRESULT StoredThumbnail(std::unique_ptr<PictureReader>* thumbnail) override {
    HRESULT hr = inner_->StoredThumbnail(thumbnail);
    if (SUCCEEDED(hr)) *thumbnail = std::make_unique<OrientedReader>(std::move(*thumbnail), orientation_);
    return hr;
  }

 private:
  std::unique_ptr<PictureReader> inner_;
  const int orientation_;
};

}  // namespace

std::unique_ptr<PictureReader> Upright(std::unique_ptr<PictureReader> reader) {
  const int orientation = ShownOrientation(reader->Facts().exifOrientation);
  if (orientation == 1) return reader;
  return std::make_unique<OrientedReader>(std::move(reader), orientation);
}

}  // namespace imaging
