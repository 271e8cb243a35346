// The imaging service's reader of BMP files (bmp_format.h says which are read).
#include "platform/imaging/bmp_format.h"
#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

HRESULT ResultOf(bmp::Status status) {
  switch (status) {
    case bmp::Status::Ok: return S_OK;
    case bmp::Status::NotBmp:
    case bmp::Status::Unsupported: return IMGERR_UNKNOWNFORMAT;
    case bmp::Status::TooLarge: return IMGERR_TOOLARGE;
    case bmp::Status::Corrupt: break;
  }
  return IMGERR_CORRUPT;
}

class BmpJob final : public DecodeJob {
 public:
  BmpJob(std::shared_ptr<const PictureBytes> bytes, const bmp::Layout& layout)
      : bytes_(std::move(bytes)),
        rows_(bytes_->data(), bytes_->size(), layout),
        width_(layout.width),
        height_(layout.height),
        row_(static_cast<size_t>(layout.width) * 3) {}

  HRESULT Next(RowTarget& target, UINT maxRows) override {
    if (!begun_) {
      begun_ = true;
      if (!rows_.Expand()) return E_OUTOFMEMORY;
      if (HRESULT hr = target.Begin(width_, height_); FAILED(hr)) return hr;
    }
    for (UINT n = 0; n < maxRows && y_ < height_; ++n, ++y_) {
      rows_.Bgr(y_, row_.data());
      if (HRESULT hr = target.Row(y_, row_.data()); FAILED(hr)) return hr;
    }
    return y_ < height_ ? E_PENDING : S_OK;
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
  bmp::Rows rows_;
  UINT width_, height_;
  std::vector<BYTE> row_;
  UINT y_ = 0;
  bool begun_ = false;
};

class BmpReader final : public PictureReader {
 public:
  explicit BmpReader(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}

  HRESULT ReadHeader() {
    if (HRESULT hr = ResultOf(bmp::ReadLayout(bytes_->data(), bytes_->size(), &layout_)); FAILED(hr)) return hr;
    facts_.format = ImageFormatBMP;
    facts_.width = layout_.width;
    facts_.height = layout_.height;
    if (layout_.dpiX > 0) {
      facts_.dpiX = layout_.dpiX;
      facts_.dpiY = layout_.dpiY;
    }
    return S_OK;
  }

  // Uncompressed rows are read straight from the file's bytes, so only full-size decodes
  // meet the pixel limit; compressed pictures are expanded whole, so they always do.
  HRESULT Start(UINT minWidth, UINT minHeight, std::unique_ptr<DecodeJob>* job) override {
    if (minWidth == 0 || minHeight == 0 || layout_.IsCompressed()) {
      if (HRESULT hr = CheckFullSize(facts_.width, facts_.height); FAILED(hr)) return hr;
    }
    *job = std::make_unique<BmpJob>(bytes_, layout_);
    return S_OK;
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
  bmp::Layout layout_;
};

}  // namespace

HRESULT OpenBmpReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  reader->reset();
  auto made = std::make_unique<BmpReader>(std::move(bytes));
  if (HRESULT hr = made->ReadHeader(); FAILED(hr)) return hr;
  *reader = std::move(made);
  return S_OK;
}

}  // namespace imaging
