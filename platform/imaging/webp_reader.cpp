// WebP pictures through libwebp: lossy and lossless, with or without alpha (laid over
// black), the first frame of an animation, and the orientation tag of the EXIF chunk.
#include <cstring>
#include <new>

#include <webp/decode.h>
#include <webp/demux.h>

#include "platform/imaging/exif.h"
#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

// A still picture, decoded straight into our buffer.
class WebpStillJob final : public WholePictureJob {
 public:
  WebpStillJob(std::shared_ptr<const PictureBytes> bytes, UINT width, UINT height, bool alpha)
      : bytes_(std::move(bytes)), width_(width), height_(height), alpha_(alpha) {}

 private:
  HRESULT DecodeWhole(WholePicture* picture) override {
    const size_t stride = size_t{width_} * (alpha_ ? 4 : 3);
    const size_t size = stride * height_;
    pixels_.reset(new (std::nothrow) BYTE[size]);
    if (!pixels_) return E_OUTOFMEMORY;
    const uint8_t* done = alpha_ ? WebPDecodeBGRAInto(bytes_->data(), bytes_->size(), pixels_.get(), size,
                                                      static_cast<int>(stride))
                                 : WebPDecodeBGRInto(bytes_->data(), bytes_->size(), pixels_.get(), size,
                                                     static_cast<int>(stride));
    if (!done) return IMGERR_CORRUPT;
    *picture = {pixels_.get(), stride, width_, height_, alpha_ ? Channels::Bgra : Channels::Bgr};
    return S_OK;
  }

  std::shared_ptr<const PictureBytes> bytes_;
  const UINT width_, height_;
  const bool alpha_;
  std::unique_ptr<BYTE[]> pixels_;
};

// The first frame of an animation, composed on its canvas.
class WebpAnimationJob final : public WholePictureJob {
 public:
  explicit WebpAnimationJob(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}
  ~WebpAnimationJob() override {
    if (decoder_) WebPAnimDecoderDelete(decoder_);
  }

 private:
  HRESULT DecodeWhole(WholePicture* picture) override {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return E_FAIL;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data{bytes_->data(), bytes_->size()};
    decoder_ = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!decoder_ || !WebPAnimDecoderGetInfo(decoder_, &info) || !WebPAnimDecoderGetNext(decoder_, &canvas, &timestamp))
      return IMGERR_CORRUPT;
    *picture = {canvas, size_t{info.canvas_width} * 4, info.canvas_width, info.canvas_height, Channels::Bgra};
    return S_OK;
  }

  std::shared_ptr<const PictureBytes> bytes_;
  WebPAnimDecoder* decoder_ = nullptr;
};

class WebpReader final : public PictureReader {
 public:
  explicit WebpReader(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}

  HRESULT ReadHeader() {
    const WebPData data{bytes_->data(), bytes_->size()};
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data.bytes, data.size, &features) != VP8_STATUS_OK) return IMGERR_CORRUPT;
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux) return IMGERR_CORRUPT;
    facts_.format = ImageFormatWEBP;
    facts_.width = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    facts_.height = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    animated_ = features.has_animation != 0;
    alpha_ = features.has_alpha != 0;
    if (alpha_) facts_.flags |= ImageFlagsHasAlpha;
    facts_.bitsPerPixel = alpha_ ? 32 : 24;
    WebPChunkIterator exif;
    if (WebPDemuxGetChunk(demux, "EXIF", 1, &exif)) {
      facts_.exifOrientation = ExifOrientation(exif.chunk.bytes, exif.chunk.size);
      WebPDemuxReleaseChunkIterator(&exif);
    }
    WebPDemuxDelete(demux);
    if (facts_.width == 0 || facts_.height == 0) return IMGERR_CORRUPT;
    // A still picture is decoded at its bitstream's size, which must be the canvas.
    if (!animated_ && (UINT(features.width) != facts_.width || UINT(features.height) != facts_.height))
      return IMGERR_CORRUPT;
    return S_OK;
  }

  // libwebp decodes the whole picture, so even a thumbnail is held to the pixel limit.
  HRESULT Start(UINT, UINT, std::unique_ptr<DecodeJob>* job) override {
    if (HRESULT hr = CheckFullSize(facts_.width, facts_.height); FAILED(hr)) return hr;
    if (animated_) {
      *job = std::make_unique<WebpAnimationJob>(bytes_);
    } else {
      *job = std::make_unique<WebpStillJob>(bytes_, facts_.width, facts_.height, alpha_);
    }
    return S_OK;
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
  bool animated_ = false, alpha_ = false;
};

}  // namespace

HRESULT OpenWebpReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  reader->reset();
  if (bytes->size() < 12 || std::memcmp(bytes->data(), "RIFF", 4) != 0 || std::memcmp(bytes->data() + 8, "WEBP", 4) != 0)
    return IMGERR_UNKNOWNFORMAT;
  auto made = std::make_unique<WebpReader>(std::move(bytes));
  if (HRESULT hr = made->ReadHeader(); FAILED(hr)) return hr;
  *reader = std::move(made);
  return S_OK;
}

}  // namespace imaging
