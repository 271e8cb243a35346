// JPEG pictures through libjpeg-turbo, with scaled decoding for small results, and the
// EXIF thumbnail through libexif.
#include <csetjmp>
#include <cstdio>
#include <cstring>

// The platform's own headers come first: libjpeg defines TRUE and FALSE as macros.
#include "platform/imaging/exif.h"
#include "platform/imaging/imaging_internal.h"

#include <jpeglib.h>
#include <jerror.h>
#include <libexif/exif-data.h>

namespace imaging {

namespace {

constexpr long kMaxDecoderMemory = 256L * 1024 * 1024;

// libjpeg reports errors by calling error_exit, which must not return: it jumps back to
// the step that was running (see Try). A cut-short file only draws a warning from
// libjpeg (it pads the picture with grey); it is remembered and makes the decode fail.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  bool truncated = false;
};

void ErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

void EmitMessage(j_common_ptr info, int level) {
  auto* errors = reinterpret_cast<JpegErrors*>(info->err);
  if (level < 0 && errors->manager.msg_code == JWRN_JPEG_EOF) errors->truncated = true;
}

// Runs one libjpeg step; false when libjpeg reported an error. The step may only call C
// functions on plain data: the jump skips it without running destructors.
template <typename Step>
bool Try(JpegErrors& errors, Step step) {
  if (setjmp(errors.jump)) return false;
  step();
  return true;
}

// A decompressor over the file's bytes, set up to its header.
class Decompressor {
 public:
  Decompressor(const PictureBytes& bytes) {
    info_.err = jpeg_std_error(&errors_.manager);
    errors_.manager.error_exit = ErrorExit;
    errors_.manager.emit_message = EmitMessage;
    jpeg_create_decompress(&info_);
    created_ = true;
    // Progressive files keep every coefficient of the picture; a header that claims more
    // than this makes libjpeg fail instead of allocating it.
    info_.mem->max_memory_to_use = kMaxDecoderMemory;
    int header = 0;
    ok_ = Try(errors_, [&] {
      jpeg_mem_src(&info_, bytes.data(), static_cast<unsigned long>(bytes.size()));
      header = jpeg_read_header(&info_, TRUE);
    });
    ok_ = ok_ && header == JPEG_HEADER_OK && info_.image_width > 0 && info_.image_height > 0;
  }
  ~Decompressor() {
    if (created_) jpeg_destroy_decompress(&info_);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  bool ok() const { return ok_; }
  jpeg_decompress_struct& info() { return info_; }
  JpegErrors& errors() { return errors_; }

 private:
  JpegErrors errors_;
  jpeg_decompress_struct info_{};
  bool created_ = false;
  bool ok_ = false;
};

bool IsCmyk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

class JpegJob final : public DecodeJob {
 public:
  JpegJob(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<Decompressor> d)
      : bytes_(std::move(bytes)), d_(std::move(d)) {}

  HRESULT Next(RowTarget& target, UINT maxRows) override {
    jpeg_decompress_struct& info = d_->info();
    if (!started_) {
      if (!Try(d_->errors(), [&] { jpeg_start_decompress(&info); })) return IMGERR_CORRUPT;
      started_ = true;
      row_.resize(static_cast<size_t>(info.output_width) * info.output_components);
      bgr_.resize(static_cast<size_t>(info.output_width) * 3 + 4);
      if (HRESULT hr = target.Begin(info.output_width, info.output_height); FAILED(hr)) return hr;
    }
    for (UINT n = 0; n < maxRows && info.output_scanline < info.output_height; ++n) {
      UINT y = info.output_scanline;
      JSAMPROW rows[1] = {row_.data()};
      JDIMENSION got = 0;
      if (!Try(d_->errors(), [&] { got = jpeg_read_scanlines(&info, rows, 1); }) || got != 1) return IMGERR_CORRUPT;
      if (d_->errors().truncated) return IMGERR_CORRUPT;
      const BYTE* out = row_.data();
      if (info.out_color_space == JCS_CMYK) {
        // Adobe's CMYK JPEGs store the inks inverted: each byte is 255 - ink.
        for (UINT x = 0; x < info.output_width; ++x) {
          const BYTE* p = row_.data() + 4 * x;
          bgr_[3 * x] = static_cast<BYTE>(p[2] * p[3] / 255);
          bgr_[3 * x + 1] = static_cast<BYTE>(p[1] * p[3] / 255);
          bgr_[3 * x + 2] = static_cast<BYTE>(p[0] * p[3] / 255);
        }
        out = bgr_.data();
      }
      if (HRESULT hr = target.Row(y, out); FAILED(hr)) return hr;
    }
    if (info.output_scanline < info.output_height) return E_PENDING;
    if (!Try(d_->errors(), [&] { jpeg_finish_decompress(&info); }) || d_->errors().truncated) return IMGERR_CORRUPT;
    return S_OK;
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
  std::unique_ptr<Decompressor> d_;
  bool started_ = false;
  std::vector<BYTE> row_, bgr_;
};

class JpegReader final : public PictureReader {
 public:
  explicit JpegReader(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}

  HRESULT ReadHeader() {
    Decompressor d(*bytes_);
    if (!d.ok()) return IMGERR_CORRUPT;
    const jpeg_decompress_struct& info = d.info();
    facts_.format = ImageFormatJPEG;
    facts_.width = info.image_width;
    facts_.height = info.image_height;
    if (info.X_density > 0 && info.Y_density > 0 && (info.density_unit == 1 || info.density_unit == 2)) {
      double perInch = info.density_unit == 1 ? 1.0 : 2.54;
      facts_.dpiX = info.X_density * perInch;
      facts_.dpiY = info.Y_density * perInch;
    }
    if (info.jpeg_color_space == JCS_GRAYSCALE)
      facts_.flags = ImageFlagsColorSpaceGRAY | ImageFlagsHasRealPixelSize;
    if (ReadJpegExif(ReadFromMemory(bytes_->data(), bytes_->size()), &exif_))
      facts_.exifOrientation = ExifOrientation(exif_.data(), exif_.size());
    return S_OK;
  }

  HRESULT Start(UINT minWidth, UINT minHeight, std::unique_ptr<DecodeJob>* job) override {
    auto d = std::make_unique<Decompressor>(*bytes_);
    if (!d->ok()) return IMGERR_CORRUPT;
    jpeg_decompress_struct& info = d->info();
    info.out_color_space = IsCmyk(info.jpeg_color_space) ? JCS_CMYK : JCS_EXT_BGR;
    // The smallest scale (of 1/8, 1/4, 1/2, 1) that still gives at least the asked size.
    unsigned denominator = 1;
    if (minWidth > 0 && minHeight > 0) {
      for (unsigned candidate : {8u, 4u, 2u}) {
        ULONGLONG w = (info.image_width + candidate - 1) / candidate;
        ULONGLONG h = (info.image_height + candidate - 1) / candidate;
        if (w >= minWidth && h >= minHeight) {
          denominator = candidate;
          break;
        }
      }
    }
    info.scale_num = 1;
    info.scale_denom = denominator;
    if (!Try(d->errors(), [&] { jpeg_calc_output_dimensions(&info); })) return IMGERR_CORRUPT;
    if (HRESULT hr = CheckFullSize(info.output_width, info.output_height); FAILED(hr)) return hr;
    *job = std::make_unique<JpegJob>(bytes_, std::move(d));
    return S_OK;
  }

  // The EXIF thumbnail: a JPEG file of its own inside the EXIF block.
  HRESULT StoredThumbnail(std::unique_ptr<PictureReader>* thumbnail) override {
    thumbnail->reset();
    if (exif_.empty()) return IMGERR_NOTHUMBNAIL;
    ExifData* data = exif_data_new_from_data(exif_.data(), static_cast<unsigned int>(exif_.size()));
    if (!data) return IMGERR_NOTHUMBNAIL;
    std::vector<BYTE> file;
    if (data->data && data->size > 0) file.assign(data->data, data->data + data->size);
    exif_data_unref(data);
    if (file.empty()) return IMGERR_NOTHUMBNAIL;
    return OpenJpegReader(PictureBytes::FromVector(std::move(file)), thumbnail);
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
  std::vector<BYTE> exif_;  // the EXIF block, "Exif\0\0" first; empty without one
};

}  // namespace

HRESULT OpenJpegReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  reader->reset();
  if (bytes->size() < 3 || bytes->data()[0] != 0xFF || bytes->data()[1] != 0xD8) return IMGERR_UNKNOWNFORMAT;
  auto made = std::make_unique<JpegReader>(std::move(bytes));
  if (HRESULT hr = made->ReadHeader(); FAILED(hr)) return hr;
  *reader = std::move(made);
  return S_OK;
}

}  // namespace imaging
