// HEIF pictures (HEIC, as phones write them) through libheif: the primary image, turned,
// mirrored and cropped as its own properties say (those are how the file stands the picture
// upright; libheif applies them), alpha laid over black, more than 8 bits brought down to 8;
// and the thumbnail image the file keeps for it. Image sequences, depth and other auxiliary
// images are not shown.
#include <algorithm>
#include <climits>
#include <mutex>

#include <libheif/heif.h>

#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

// The file's parsed boxes, shared by the reader of the picture and that of its thumbnail.
using Context = std::shared_ptr<heif_context>;
using Handle = std::shared_ptr<const heif_image_handle>;

Context ReadContext(const PictureBytes& bytes) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { heif_init(nullptr); });
  Context context(heif_context_alloc(), heif_context_free);
  if (!context || bytes.size() > INT_MAX) return nullptr;
  // Decoding stays on the calling thread, and no side may pass the service's limit.
  heif_context_set_max_decoding_threads(context.get(), 0);
  heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(kMaxImageSide));
  const heif_error error = heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr);
  return error.code == heif_error_Ok ? context : nullptr;
}

class HeifJob final : public WholePictureJob {
 public:
  HeifJob(std::shared_ptr<const PictureBytes> bytes, Context context, Handle handle)
      : bytes_(std::move(bytes)), context_(std::move(context)), handle_(std::move(handle)) {}
  ~HeifJob() override {
    if (image_) heif_image_release(image_);
  }

 private:
  HRESULT DecodeWhole(WholePicture* picture) override {
    const bool alpha = heif_image_handle_has_alpha_channel(handle_.get()) != 0;
    std::unique_ptr<heif_decoding_options, void (*)(heif_decoding_options*)> options(heif_decoding_options_alloc(),
                                                                                     heif_decoding_options_free);
    if (!options) return E_OUTOFMEMORY;
    options->convert_hdr_to_8bit = 1;
    const heif_error error = heif_decode_image(handle_.get(), &image_, heif_colorspace_RGB,
                                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                               options.get());
    if (error.code != heif_error_Ok || !image_) return IMGERR_CORRUPT;
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image_, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image_, heif_channel_interleaved);
    const int height = heif_image_get_height(image_, heif_channel_interleaved);
    if (!pixels || width != heif_image_handle_get_width(handle_.get()) ||
        height != heif_image_handle_get_height(handle_.get()) || stride < width * (alpha ? 4 : 3) ||
        heif_image_get_bits_per_pixel_range(image_, heif_channel_interleaved) != 8)
      return IMGERR_CORRUPT;
    *picture = {pixels, static_cast<size_t>(stride), static_cast<UINT>(width), static_cast<UINT>(height),
                alpha ? Channels::Rgba : Channels::Rgb};
    return S_OK;
  }

  std::shared_ptr<const PictureBytes> bytes_;
  Context context_;
  Handle handle_;
  heif_image* image_ = nullptr;
};

class HeifReader final : public PictureReader {
 public:
  HeifReader(std::shared_ptr<const PictureBytes> bytes, Context context, Handle handle)
      : bytes_(std::move(bytes)), context_(std::move(context)), handle_(std::move(handle)) {
    facts_.format = ImageFormatHEIF;
    facts_.width = static_cast<UINT>(std::max(0, heif_image_handle_get_width(handle_.get())));
    facts_.height = static_cast<UINT>(std::max(0, heif_image_handle_get_height(handle_.get())));
    const int bits = std::max(8, heif_image_handle_get_luma_bits_per_pixel(handle_.get()));
    const bool alpha = heif_image_handle_has_alpha_channel(handle_.get()) != 0;
    if (alpha) facts_.flags |= ImageFlagsHasAlpha;
    facts_.bitsPerPixel = static_cast<UINT>(bits * (alpha ? 4 : 3));
  }

  // libheif decodes the whole picture, so even a thumbnail is held to the pixel limit.
  HRESULT Start(UINT, UINT, std::unique_ptr<DecodeJob>* job) override {
    if (HRESULT hr = CheckFullSize(facts_.width, facts_.height); FAILED(hr)) return hr;
    *job = std::make_unique<HeifJob>(bytes_, context_, handle_);
    return S_OK;
  }

  HRESULT StoredThumbnail(std::unique_ptr<PictureReader>* thumbnail) override {
    thumbnail->reset();
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_thumbnail_IDs(handle_.get(), &id, 1) != 1) return IMGERR_NOTHUMBNAIL;
    heif_image_handle* made = nullptr;
    if (heif_image_handle_get_thumbnail(handle_.get(), id, &made).code != heif_error_Ok || !made)
      return IMGERR_NOTHUMBNAIL;
    Handle handle(made, heif_image_handle_release);
    if (heif_image_handle_get_width(made) <= 0 || heif_image_handle_get_height(made) <= 0) return IMGERR_NOTHUMBNAIL;
    *thumbnail = std::make_unique<HeifReader>(bytes_, context_, std::move(handle));
    return S_OK;
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
  Context context_;
  Handle handle_;
};

}  // namespace

HRESULT OpenHeifReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  reader->reset();
  const int probe = static_cast<int>(std::min<size_t>(bytes->size(), 64));
  if (heif_check_filetype(bytes->data(), probe) == heif_filetype_no) return IMGERR_UNKNOWNFORMAT;
  Context context = ReadContext(*bytes);
  if (!context) return IMGERR_CORRUPT;
  heif_image_handle* primary = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok || !primary)
    return IMGERR_CORRUPT;
  Handle handle(primary, heif_image_handle_release);
  const int width = heif_image_handle_get_width(primary), height = heif_image_handle_get_height(primary);
  if (width <= 0 || height <= 0) return IMGERR_CORRUPT;
  // A grid or an overlay says its own size, which libheif allocates before it looks at the
  // tiles: no side of it may be longer than the picture's longer side.
  heif_context_set_maximum_image_size_limit(context.get(), std::max(width, height) + 1);
  *reader = std::make_unique<HeifReader>(std::move(bytes), std::move(context), std::move(handle));
  return S_OK;
}

}  // namespace imaging
