// PNG pictures through libpng: palette, grey, 16-bit and transparency, the transparent
// parts laid over black.
#include <csetjmp>
#include <cstring>
#include <new>

#include <png.h>

#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

struct MemoryInput {
  const BYTE* data;
  size_t size;
  size_t at;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t count) {
  auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (count > input->size - input->at) png_error(png, "cut short");
  std::memcpy(out, input->data + input->at, count);
  input->at += count;
}

// Errors jump back to the step that was running (see Try); nothing is printed.
void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Quiet(png_structp, png_const_charp) {}

// libpng reports errors by jumping back to its jump buffer; the step may only call C
// functions on plain data, since the jump skips it without running destructors.
template <typename Step>
bool Try(png_structp png, Step step) {
  if (setjmp(png_jmpbuf(png))) return false;
  step();
  return true;
}

// A libpng reader over the file's bytes, set up to the picture's header.
class PngFile {
 public:
  explicit PngFile(const PictureBytes& bytes) : input_{bytes.data(), bytes.size(), 0} {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (!png_) return;
    info_ = png_create_info_struct(png_);
    if (!info_) return;
    ok_ = Try(png_, [&] {
      png_set_read_fn(png_, &input_, ReadBytes);
      png_read_info(png_, info_);
    });
  }
  ~PngFile() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngFile(const PngFile&) = delete;
  PngFile& operator=(const PngFile&) = delete;

  bool ok() const { return ok_; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  MemoryInput input_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  bool ok_ = false;
};

class PngJob final : public DecodeJob {
 public:
  PngJob(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PngFile> file)
      : bytes_(std::move(bytes)), file_(std::move(file)) {}

  HRESULT Prepare() {
    png_structp png = file_->png();
    png_infop info = file_->info();
    width_ = png_get_image_width(png, info);
    height_ = png_get_image_height(png, info);
    interlaced_ = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    bool ok = Try(png, [&] {
      // Every kind of PNG becomes 8-bit blue, green, red and, when it has any
      // transparency, alpha.
      png_set_scale_16(png);
      png_set_palette_to_rgb(png);
      png_set_expand_gray_1_2_4_to_8(png);
      if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
      png_set_gray_to_rgb(png);
      png_set_bgr(png);
      png_set_interlace_handling(png);
      png_read_update_info(png, info);
    });
    if (!ok) return IMGERR_CORRUPT;
    channels_ = png_get_channels(png, info);
    if (channels_ != 3 && channels_ != 4) return IMGERR_CORRUPT;
    rowBytes_ = png_get_rowbytes(png, info);
    if (interlaced_) {
      // The passes fill the whole picture, so it is held at full size.
      if (HRESULT hr = CheckFullSize(width_, height_); FAILED(hr)) return hr;
      whole_.reset(new (std::nothrow) BYTE[rowBytes_ * height_]);
      if (!whole_) return E_OUTOFMEMORY;
    } else {
      row_.reset(new (std::nothrow) BYTE[rowBytes_]);
      if (!row_) return E_OUTOFMEMORY;
    }
    bgr_.resize(static_cast<size_t>(width_) * 3 + 4);
    return S_OK;
  }

  HRESULT Next(RowTarget& target, UINT maxRows) override {
    png_structp png = file_->png();
    if (!begun_) {
      begun_ = true;
      if (HRESULT hr = target.Begin(width_, height_); FAILED(hr)) return hr;
      if (interlaced_) {
        std::vector<png_bytep> rows(height_);
        for (UINT y = 0; y < height_; ++y) rows[y] = whole_.get() + rowBytes_ * y;
        png_bytepp list = rows.data();
        if (!Try(png, [&] { png_read_image(png, list); })) return IMGERR_CORRUPT;
      }
    }
    for (UINT n = 0; n < maxRows && y_ < height_; ++n, ++y_) {
      png_bytep row;
      if (interlaced_) {
        row = whole_.get() + rowBytes_ * y_;
      } else {
        row = row_.get();
        if (!Try(png, [&] { png_read_row(png, row, nullptr); })) return IMGERR_CORRUPT;
      }
      if (HRESULT hr = target.Row(y_, Flatten(row)); FAILED(hr)) return hr;
    }
    return y_ < height_ ? E_PENDING : S_OK;
  }

 private:
  // The row as 24-bit pixels; transparent parts darken towards black.
  const BYTE* Flatten(const BYTE* row) {
    if (channels_ == 3) return row;
    for (UINT x = 0; x < width_; ++x) {
      const BYTE* p = row + 4 * x;
      for (int c = 0; c < 3; ++c) bgr_[3 * x + c] = static_cast<BYTE>((p[c] * p[3] + 127) / 255);
    }
    return bgr_.data();
  }

  std::shared_ptr<const PictureBytes> bytes_;
  std::unique_ptr<PngFile> file_;
  UINT width_ = 0, height_ = 0, y_ = 0;
  bool interlaced_ = false, begun_ = false;
  int channels_ = 0;
  size_t rowBytes_ = 0;
  std::unique_ptr<BYTE[]> row_, whole_;
  std::vector<BYTE> bgr_;
};

class PngReader final : public PictureReader {
 public:
  explicit PngReader(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}

  HRESULT ReadHeader() {
    PngFile file(*bytes_);
    if (!file.ok()) return IMGERR_CORRUPT;
    png_structp png = file.png();
    png_infop info = file.info();
    facts_.format = ImageFormatPNG;
    facts_.width = png_get_image_width(png, info);
    facts_.height = png_get_image_height(png, info);
    if (facts_.width == 0 || facts_.height == 0) return IMGERR_CORRUPT;
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER && x > 0 && y > 0) {
      facts_.dpiX = x * 0.0254;
      facts_.dpiY = y * 0.0254;
    }
    int type = png_get_color_type(png, info);
    facts_.flags = ImageFlagsHasRealPixelSize |
                   ((type & PNG_COLOR_MASK_COLOR) ? ImageFlagsColorSpaceRGB : ImageFlagsColorSpaceGRAY);
    if ((type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS)) facts_.flags |= ImageFlagsHasAlpha;
    return S_OK;
  }

  // Rows are decoded one at a time, so only a full-size decode is held to the limit.
  HRESULT Start(UINT minWidth, UINT minHeight, std::unique_ptr<DecodeJob>* job) override {
    if (minWidth == 0 || minHeight == 0) {
      if (HRESULT hr = CheckFullSize(facts_.width, facts_.height); FAILED(hr)) return hr;
    }
    auto file = std::make_unique<PngFile>(*bytes_);
    if (!file->ok()) return IMGERR_CORRUPT;
    auto made = std::make_unique<PngJob>(bytes_, std::move(file));
    if (HRESULT hr = made->Prepare(); FAILED(hr)) return hr;
    *job = std::move(made);
    return S_OK;
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
};

}  // namespace

HRESULT OpenPngReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  reader->reset();
  if (bytes->size() < 8 || png_sig_cmp(bytes->data(), 0, 8) != 0) return IMGERR_UNKNOWNFORMAT;
  auto made = std::make_unique<PngReader>(std::move(bytes));
  if (HRESULT hr = made->ReadHeader(); FAILED(hr)) return hr;
  *reader = std::move(made);
  return S_OK;
}

}  // namespace imaging
