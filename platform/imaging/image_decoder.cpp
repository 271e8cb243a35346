// The decoder object: a picture reader behind IImageDecoder.

#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

// Decode gives E_PENDING after each band of this many rows, so callers stay responsive.
constexpr UINT kRowsPerDecodeCall = 256;

class Decoder final : public ComObject<IImageDecoder> {
 public:
  explicit Decoder(std::unique_ptr<PictureReader> reader) : reader_(std::move(reader)) {}

  HRESULT InitDecoder(IStream* stream, DecoderInitFlag) override {
    if (sink_) return E_UNEXPECTED;
    std::shared_ptr<const PictureBytes> bytes;
    HRESULT hr = PictureBytes::FromStream(stream, &bytes);
    if (FAILED(hr)) return hr;
    std::unique_ptr<PictureReader> reader;
    hr = OpenPictureReader(std::move(bytes), &reader);
    if (FAILED(hr)) return hr;
    reader_ = std::move(reader);
    return S_OK;
  }

  HRESULT TerminateDecoder() override {
    if (sink_) EndDecode(E_ABORT);
    reader_.reset();
    return S_OK;
  }

  HRESULT BeginDecode(IImageSink* sink, IPropertySetStorage*) override {
    if (!sink) return E_INVALIDARG;
    if (!reader_ || sink_) return E_UNEXPECTED;
    HRESULT hr = reader_->Start(0, 0, &job_);
    if (FAILED(hr)) return hr;
    sink_ = sink;
    sink_->AddRef();
    target_ = std::make_unique<SinkRowTarget>(sink_, InfoOf(reader_->Facts()));
    finished_ = false;
    return S_OK;
  }

  HRESULT Decode() override {
    if (!sink_) return E_UNEXPECTED;
    if (!job_) return finished_ ? S_OK : E_UNEXPECTED;
    HRESULT hr = job_->Next(*target_, kRowsPerDecodeCall);
    if (hr != E_PENDING) {
      job_.reset();
      finished_ = SUCCEEDED(hr);
    }
    return hr;
  }

  HRESULT EndDecode(HRESULT status) override {
    if (!sink_) return E_UNEXPECTED;
    if (SUCCEEDED(status) && !finished_) status = E_ABORT;  // ended before the last row
    HRESULT ended = sink_->EndSink(status);
    sink_->Release();
    sink_ = nullptr;
    job_.reset();
    target_.reset();
    return FAILED(status) ? status : ended;
  }

  HRESULT GetFrameDimensionsCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = reader_ ? 1 : 0;
    return reader_ ? S_OK : E_UNEXPECTED;
  }

  HRESULT GetFrameDimensionsList(GUID* dimensions, UINT count) override {
    if (!dimensions) return E_POINTER;
    if (!reader_) return E_UNEXPECTED;
    if (count < 1) return E_INVALIDARG;
    dimensions[0] = reader_->Facts().frameDimension;
    return S_OK;
  }

  HRESULT GetFrameCount(const GUID* dimension, UINT* count) override {
    if (!dimension || !count) return E_POINTER;
    if (!reader_) return E_UNEXPECTED;
    if (*dimension != reader_->Facts().frameDimension) return E_INVALIDARG;
    *count = reader_->Facts().frameCount;
    return S_OK;
  }

  HRESULT SelectActiveFrame(const GUID* dimension, UINT index) override {
    if (!dimension) return E_POINTER;
    if (!reader_ || sink_) return E_UNEXPECTED;
    if (*dimension != reader_->Facts().frameDimension) return E_INVALIDARG;
    return reader_->SelectFrame(index);
  }

  HRESULT GetImageInfo(ImageInfo* info) override {
    if (!info) return E_POINTER;
    if (!reader_) return E_UNEXPECTED;
    *info = InfoOf(reader_->Facts());
    return S_OK;
  }

  HRESULT GetThumbnail(UINT width, UINT height, IImage** thumbnail) override {
    if (!thumbnail) return E_POINTER;
    *thumbnail = nullptr;
    if (!reader_) return E_UNEXPECTED;
    if (width == 0 || height == 0) return E_INVALIDARG;
    std::unique_ptr<PictureReader> inner;
    HRESULT hr = reader_->StoredThumbnail(&inner);
    if (FAILED(hr)) return hr;
    return MakeThumbnail(*inner, width, height, thumbnail);
  }

 private:
  ~Decoder() override {
    if (sink_) EndDecode(E_ABORT);
  }

  std::unique_ptr<PictureReader> reader_;
  IImageSink* sink_ = nullptr;
  std::unique_ptr<DecodeJob> job_;
  std::unique_ptr<SinkRowTarget> target_;
  bool finished_ = false;
};

}  // namespace

HRESULT CreateDecoderObject(std::unique_ptr<PictureReader> reader, IImageDecoder** decoder) {
  *decoder = new Decoder(std::move(reader));
  return S_OK;
}

}  // namespace imaging
