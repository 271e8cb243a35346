// A picture file as an IImage: the header is read at once, the pixels when the picture is
// first drawn (then kept as a screen bitmap for later draws) or pushed into a sink.
#include <mutex>

#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

class PictureImage final : public ComObject<IImage> {
 public:
  explicit PictureImage(std::unique_ptr<PictureReader> reader) : reader_(std::move(reader)) {}

  HRESULT GetPhysicalDimension(SIZE* size) override {
    if (!size) return E_POINTER;
    const PictureFacts& facts = reader_->Facts();
    size->cx = static_cast<LONG>(facts.width * 2540.0 / facts.dpiX);
    size->cy = static_cast<LONG>(facts.height * 2540.0 / facts.dpiY);
    return S_OK;
  }

  HRESULT GetImageInfo(ImageInfo* info) override {
    if (!info) return E_POINTER;
    *info = InfoOf(reader_->Facts());
    return S_OK;
  }

  HRESULT SetImageFlags(UINT) override { return S_OK; }

  HRESULT Draw(HDC dc, const RECT* destination, const RECT* source) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (!drawn_) {
      HRESULT hr = DecodeForScreen();
      if (FAILED(hr)) return hr;
    }
    return drawn_->Draw(dc, destination, source);
  }

  HRESULT PushIntoSink(IImageSink* sink) override {
    if (!sink) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock_);
    std::unique_ptr<DecodeJob> job;
    HRESULT hr = reader_->Start(0, 0, &job);
    if (SUCCEEDED(hr)) {
      SinkRowTarget target(sink, InfoOf(reader_->Facts()));
      hr = RunJob(*job, target);
    }
    HRESULT ended = sink->EndSink(hr);
    return FAILED(hr) ? hr : ended;
  }

  HRESULT GetThumbnail(UINT width, UINT height, IImage** thumbnail) override {
    if (!thumbnail) return E_POINTER;
    std::lock_guard<std::mutex> guard(lock_);
    return MakeThumbnail(*reader_, width, height, thumbnail);
  }

 private:
  ~PictureImage() override {
    if (drawn_) drawn_->Release();
  }

  HRESULT DecodeForScreen() {
    const PictureFacts& facts = reader_->Facts();
    IBitmapImage* bitmap = nullptr;
    HRESULT hr = CreateBitmap(facts.width, facts.height, PixelFormat16bppRGB565, &bitmap);
    if (FAILED(hr)) return hr;
    IImageSink* sink = nullptr;
    IImage* image = nullptr;
    bitmap->QueryInterface(IID_IImageSink, reinterpret_cast<void**>(&sink));
    bitmap->QueryInterface(IID_IImage, reinterpret_cast<void**>(&image));
    bitmap->Release();
    std::unique_ptr<DecodeJob> job;
    hr = reader_->Start(0, 0, &job);
    if (SUCCEEDED(hr)) {
      SinkRowTarget target(sink, InfoOf(facts));
      hr = RunJob(*job, target);
    }
    sink->EndSink(hr);
    sink->Release();
    if (FAILED(hr)) {
      image->Release();
      return hr;
    }
    drawn_ = image;
    return S_OK;
  }

  std::mutex lock_;
  std::unique_ptr<PictureReader> reader_;
  IImage* drawn_ = nullptr;
};

}  // namespace

HRESULT CreatePictureImage(std::unique_ptr<PictureReader> reader, IImage** image) {
  *image = new PictureImage(std::move(reader));
  return S_OK;
}

}  // namespace imaging
