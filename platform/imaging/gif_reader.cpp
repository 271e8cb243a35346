// GIF pictures through giflib: every frame of an animation, composed the way it is shown
// (each frame over what the frames before it left), transparent parts over black.
#include <algorithm>
#include <cstring>
#include <new>

#include <gif_lib.h>

#include "platform/imaging/imaging_internal.h"

namespace imaging {

namespace {

struct MemoryInput {
  const BYTE* data;
  size_t size;
  size_t at;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int count) {
  auto* input = static_cast<MemoryInput*>(gif->UserData);
  size_t n = std::min<size_t>(static_cast<size_t>(count), input->size - input->at);
  std::memcpy(out, input->data + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

// An open giflib reader over the file's bytes.
class GifFile {
 public:
  explicit GifFile(const PictureBytes& bytes) : input_{bytes.data(), bytes.size(), 0} {
    int error = 0;
    gif_ = DGifOpen(&input_, ReadBytes, &error);
  }
  ~GifFile() {
    if (gif_) DGifCloseFile(gif_, nullptr);
  }
  GifFile(const GifFile&) = delete;
  GifFile& operator=(const GifFile&) = delete;
  GifFileType* get() const { return gif_; }

 private:
  MemoryInput input_;
  GifFileType* gif_ = nullptr;
};

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<BYTE> palette;  // red, green, blue triples: the frame's own, else the file's
  int transparent = NO_TRANSPARENT_COLOR;
  int disposal = DISPOSAL_UNSPECIFIED;
};

std::vector<BYTE> PaletteOf(const ColorMapObject* map) {
  std::vector<BYTE> palette;
  if (!map) return palette;
  for (int i = 0; i < map->ColorCount; ++i) {
    palette.push_back(map->Colors[i].Red);
    palette.push_back(map->Colors[i].Green);
    palette.push_back(map->Colors[i].Blue);
  }
  return palette;
}

// Skips the rest of an extension or of a frame's compressed data.
bool SkipExtension(GifFileType* gif, GifByteType* block) {
  while (block) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

bool SkipImageData(GifFileType* gif) {
  int codeSize = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
  while (block) {
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

class GifJob final : public DecodeJob {
 public:
  GifJob(std::shared_ptr<const PictureBytes> bytes, std::shared_ptr<const std::vector<Frame>> frames, UINT active,
         UINT width, UINT height)
      : bytes_(std::move(bytes)), frames_(std::move(frames)), active_(active), width_(width), height_(height) {}

  HRESULT Next(RowTarget& target, UINT maxRows) override {
    if (!composed_) {
      if (HRESULT hr = Compose(); FAILED(hr)) return hr;
      composed_ = true;
      if (HRESULT hr = target.Begin(width_, height_); FAILED(hr)) return hr;
    }
    for (UINT n = 0; n < maxRows && y_ < height_; ++n, ++y_) {
      if (HRESULT hr = target.Row(y_, canvas_.get() + static_cast<size_t>(y_) * width_ * 3); FAILED(hr)) return hr;
    }
    return y_ < height_ ? E_PENDING : S_OK;
  }

 private:
  HRESULT Compose() {
    const size_t bytes = static_cast<size_t>(width_) * height_ * 3;
    canvas_.reset(new (std::nothrow) BYTE[bytes]());
    if (!canvas_) return E_OUTOFMEMORY;
    GifFile file(*bytes_);
    GifFileType* gif = file.get();
    if (!gif) return IMGERR_CORRUPT;
    std::unique_ptr<BYTE[]> saved;
    for (UINT index = 0; index <= active_;) {
      GifRecordType type;
      if (DGifGetRecordType(gif, &type) == GIF_ERROR) return IMGERR_CORRUPT;
      if (type == TERMINATE_RECORD_TYPE) return IMGERR_CORRUPT;
      if (type == EXTENSION_RECORD_TYPE) {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR || !SkipExtension(gif, block)) return IMGERR_CORRUPT;
        continue;
      }
      if (type != IMAGE_DESC_RECORD_TYPE) continue;
      if (DGifGetImageDesc(gif) == GIF_ERROR) return IMGERR_CORRUPT;
      const Frame& frame = (*frames_)[index];
      if (index > 0) {
        // What the previous frame asked to leave behind it.
        const Frame& before = (*frames_)[index - 1];
        if (before.disposal == DISPOSE_BACKGROUND) Clear(before);
        if (before.disposal == DISPOSE_PREVIOUS && saved) std::memcpy(canvas_.get(), saved.get(), bytes);
      }
      if (frame.disposal == DISPOSE_PREVIOUS && index < active_) {
        if (!saved) saved.reset(new (std::nothrow) BYTE[bytes]);
        if (!saved) return E_OUTOFMEMORY;
        std::memcpy(saved.get(), canvas_.get(), bytes);
      }
      if (HRESULT hr = Draw(gif, frame); FAILED(hr)) return hr;
      ++index;
    }
    return S_OK;
  }

  // The part of a frame's rectangle that lies on the canvas.
  void Visible(const Frame& frame, int* x0, int* y0, int* x1, int* y1) const {
    *x0 = std::clamp(frame.left, 0, static_cast<int>(width_));
    *y0 = std::clamp(frame.top, 0, static_cast<int>(height_));
    *x1 = std::clamp(frame.left + frame.width, 0, static_cast<int>(width_));
    *y1 = std::clamp(frame.top + frame.height, 0, static_cast<int>(height_));
  }

  void Clear(const Frame& frame) {
    int x0, y0, x1, y1;
    Visible(frame, &x0, &y0, &x1, &y1);
    for (int y = y0; y < y1; ++y)
      std::memset(canvas_.get() + (static_cast<size_t>(y) * width_ + x0) * 3, 0, static_cast<size_t>(x1 - x0) * 3);
  }

  HRESULT Draw(GifFileType* gif, const Frame& frame) {
    if (frame.width <= 0 || frame.height <= 0) return SkipImageData(gif) ? S_OK : IMGERR_CORRUPT;
    std::vector<GifPixelType> line(static_cast<size_t>(std::max(frame.width, 1)));
    const int colours = static_cast<int>(frame.palette.size() / 3);
    // Interlaced frames store rows in four passes: every 8th from 0, every 8th from 4,
    // every 4th from 2, every 2nd from 1.
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    const int passes = frame.interlaced ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      const int start = frame.interlaced ? kStart[pass] : 0, step = frame.interlaced ? kStep[pass] : 1;
      for (int row = start; row < frame.height; row += step) {
        if (DGifGetLine(gif, line.data(), frame.width) == GIF_ERROR) return IMGERR_CORRUPT;
        const int y = frame.top + row;
        if (y < 0 || y >= static_cast<int>(height_)) continue;
        BYTE* out = canvas_.get() + static_cast<size_t>(y) * width_ * 3;
        for (int column = 0; column < frame.width; ++column) {
          const int x = frame.left + column;
          const int index = line[column];
          if (x < 0 || x >= static_cast<int>(width_) || index == frame.transparent) continue;
          BYTE* p = out + static_cast<size_t>(x) * 3;
          if (index < colours) {
            p[0] = frame.palette[3 * index + 2];
            p[1] = frame.palette[3 * index + 1];
            p[2] = frame.palette[3 * index];
          } else {
            p[0] = p[1] = p[2] = 0;
          }
        }
      }
    }
    return S_OK;
  }

  std::shared_ptr<const PictureBytes> bytes_;
  std::shared_ptr<const std::vector<Frame>> frames_;
  UINT active_, width_, height_, y_ = 0;
  bool composed_ = false;
  std::unique_ptr<BYTE[]> canvas_;  // blue, green, red
};

class GifReader final : public PictureReader {
 public:
  explicit GifReader(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}

  // Lists the frames. A file cut short keeps the frames that are complete.
  HRESULT ReadHeader() {
    GifFile file(*bytes_);
    GifFileType* gif = file.get();
    if (!gif) return IMGERR_CORRUPT;
    const std::vector<BYTE> global = PaletteOf(gif->SColorMap);
    std::vector<Frame> frames;
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    for (bool more = true; more;) {
      GifRecordType type;
      if (DGifGetRecordType(gif, &type) == GIF_ERROR) break;
      switch (type) {
        case EXTENSION_RECORD_TYPE: {
          int code = 0;
          GifByteType* block = nullptr;
          if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
            more = false;
            break;
          }
          if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
            DGifExtensionToGCB(block[0], block + 1, &control);
          if (!SkipExtension(gif, block)) more = false;
          break;
        }
        case IMAGE_DESC_RECORD_TYPE: {
          if (DGifGetImageDesc(gif) == GIF_ERROR) {
            more = false;
            break;
          }
          Frame frame;
          frame.left = gif->Image.Left;
          frame.top = gif->Image.Top;
          frame.width = gif->Image.Width;
          frame.height = gif->Image.Height;
          frame.interlaced = gif->Image.Interlace;
          frame.palette = gif->Image.ColorMap ? PaletteOf(gif->Image.ColorMap) : global;
          frame.transparent = control.TransparentColor;
          frame.disposal = control.DisposalMode;
          control = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
          if (!SkipImageData(gif)) {
            more = false;
            break;
          }
          frames.push_back(std::move(frame));
          break;
        }
        case TERMINATE_RECORD_TYPE: more = false; break;
        default: break;
      }
    }
    if (frames.empty()) return IMGERR_CORRUPT;
    facts_.format = ImageFormatGIF;
    facts_.width = static_cast<UINT>(gif->SWidth);
    facts_.height = static_cast<UINT>(gif->SHeight);
    if (facts_.width == 0 || facts_.height == 0) {
      facts_.width = static_cast<UINT>(std::max(frames[0].left + frames[0].width, 0));
      facts_.height = static_cast<UINT>(std::max(frames[0].top + frames[0].height, 0));
    }
    if (facts_.width == 0 || facts_.height == 0) return IMGERR_CORRUPT;
    facts_.frameCount = static_cast<UINT>(frames.size());
    frames_ = std::make_shared<const std::vector<Frame>>(std::move(frames));
    facts_.frameDimension = FrameDimensionTime;
    return S_OK;
  }

  HRESULT SelectFrame(UINT index) override {
    if (index >= frames_->size()) return E_INVALIDARG;
    active_ = index;
    return S_OK;
  }

  // Frames are composed on a canvas of the picture's size, even for thumbnails.
  HRESULT Start(UINT, UINT, std::unique_ptr<DecodeJob>* job) override {
    if (HRESULT hr = CheckFullSize(facts_.width, facts_.height); FAILED(hr)) return hr;
    *job = std::make_unique<GifJob>(bytes_, frames_, active_, facts_.width, facts_.height);
    return S_OK;
  }

 private:
  std::shared_ptr<const PictureBytes> bytes_;
  std::shared_ptr<const std::vector<Frame>> frames_;
  UINT active_ = 0;
};

}  // namespace

HRESULT OpenGifReader(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<PictureReader>* reader) {
  reader->reset();
  if (bytes->size() < 6 || std::memcmp(bytes->data(), "GIF", 3) != 0) return IMGERR_UNKNOWNFORMAT;
  auto made = std::make_unique<GifReader>(std::move(bytes));
  if (HRESULT hr = made->ReadHeader(); FAILED(hr)) return hr;
  *reader = std::move(made);
  return S_OK;
}

}  // namespace imaging
