#include "tools/demo/image_files.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <png.h>

#include "tools/demo/jpeg_encoder.h"
#include "tools/demo/phone_files.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File OpenForWriting(const std::string& path) { return File(std::fopen(path.c_str(), "wb")); }

void PutLe16(std::vector<unsigned char>& out, unsigned v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}

void PutLe32(std::vector<unsigned char>& out, unsigned v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

bool WriteAll(const std::string& path, const std::vector<unsigned char>& bytes) {
  File file = OpenForWriting(path);
  return file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

// The picture reduced to width x height by averaging boxes of pixels.
Picture Reduce(const Picture& picture, int width, int height) {
  Picture small(width, height);
  for (int y = 0; y < height; ++y) {
    int y0 = y * picture.height / height, y1 = std::max(y0 + 1, (y + 1) * picture.height / height);
    for (int x = 0; x < width; ++x) {
      int x0 = x * picture.width / width, x1 = std::max(x0 + 1, (x + 1) * picture.width / width);
      unsigned sum[3] = {0, 0, 0}, n = 0;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx, ++n)
          for (int c = 0; c < 3; ++c) sum[c] += picture.rgb[(static_cast<size_t>(sy) * picture.width + sx) * 3 + c];
      for (int c = 0; c < 3; ++c) small.At(x, y)[c] = static_cast<std::uint8_t>(sum[c] / n);
    }
  }
  return small;
}

// The picture as a camera with the orientation tag stores it.
Picture Stored(const Picture& upright, int orientation) {
  int w = 0, h = 0;
  FileBytes bytes = StoredForOrientation(upright.rgb.data(), upright.width, upright.height, orientation, &w, &h);
  Picture stored(w, h);
  stored.rgb = std::move(bytes);
  return stored;
}

}  // namespace

bool WriteJpeg(const std::string& path, const Picture& upright, const JpegOptions& options) {
  const Picture picture = options.orientation ? Stored(upright, options.orientation) : upright;
  EncodeOptions encoding;
  encoding.quality = options.quality;
  encoding.progressive = options.progressive;
  if (!options.subsample) encoding.h1 = encoding.v1 = 1;
  if (options.exifThumbWidth > 0 || options.orientation) {
    // The thumbnail is stored the way the photo is.
    FileBytes thumbnail;
    if (options.exifThumbWidth > 0) {
      const int w = options.exifThumbWidth, h = std::max(1, w * picture.height / picture.width);
      const Picture small = Reduce(picture, w, h);
      thumbnail = EncodeJpeg(small.rgb.data(), w, h, EncodeOptions{.quality = 80});
    }
    encoding.exif = ExifBlock(options.orientation ? options.orientation : 1, thumbnail);
  }
  return WriteAll(path, EncodeJpeg(picture.rgb.data(), picture.width, picture.height, encoding));
}

bool WritePng(const std::string& path, const Picture& picture) {
  File file = OpenForWriting(path);
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y)
    png_write_row(png, &picture.rgb[static_cast<size_t>(y) * picture.width * 3]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WriteBmp(const std::string& path, const Picture& picture) {
  const unsigned rowBytes = (static_cast<unsigned>(picture.width) * 3 + 3) & ~3u;
  const unsigned pixelBytes = rowBytes * static_cast<unsigned>(picture.height);
  std::vector<unsigned char> out;
  out.push_back('B');
  out.push_back('M');
  PutLe32(out, 54 + pixelBytes);
  PutLe32(out, 0);
  PutLe32(out, 54);
  PutLe32(out, 40);
  PutLe32(out, static_cast<unsigned>(picture.width));
  PutLe32(out, static_cast<unsigned>(picture.height));  // positive: rows bottom to top
  PutLe16(out, 1);
  PutLe16(out, 24);
  PutLe32(out, 0);
  PutLe32(out, pixelBytes);
  PutLe32(out, 2835);
  PutLe32(out, 2835);
  PutLe32(out, 0);
  PutLe32(out, 0);
  for (int y = picture.height - 1; y >= 0; --y) {
    const unsigned char* row = &picture.rgb[static_cast<size_t>(y) * picture.width * 3];
    for (int x = 0; x < picture.width; ++x) {
      out.push_back(row[3 * x + 2]);
      out.push_back(row[3 * x + 1]);
      out.push_back(row[3 * x]);
    }
    for (unsigned pad = picture.width * 3u; pad < rowBytes; ++pad) out.push_back(0);
  }
  return WriteAll(path, out);
}

bool WriteGif(const std::string& path, const std::vector<Picture>& frames, int delayHundredths) {
  if (frames.empty()) return false;
  const int w = frames[0].width, h = frames[0].height;
  std::vector<unsigned char> out = {'G', 'I', 'F', '8', '9', 'a'};
  PutLe16(out, w);
  PutLe16(out, h);
  out.insert(out.end(), {0xF7, 0, 0});  // global table of 256 colours
  for (int i = 0; i < 256; ++i) {       // 3-3-2 palette
    out.push_back(static_cast<unsigned char>(((i >> 5) & 7) * 255 / 7));
    out.push_back(static_cast<unsigned char>(((i >> 2) & 7) * 255 / 7));
    out.push_back(static_cast<unsigned char>((i & 3) * 255 / 3));
  }
  // Loop for ever.
  out.insert(out.end(), {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
  for (const Picture& frame : frames) {
    out.insert(out.end(), {0x21, 0xF9, 4, 0x04});
    PutLe16(out, static_cast<unsigned>(delayHundredths));
    out.insert(out.end(), {0, 0, 0x2C, 0, 0, 0, 0});
    PutLe16(out, w);
    PutLe16(out, h);
    out.push_back(0);
    // Image data as 9-bit literal codes, with a clear code often enough that the code
    // width never grows: simple, and every decoder reads it.
    out.push_back(8);
    std::vector<unsigned char> data;
    unsigned long bits = 0;
    int bitCount = 0;
    auto emit = [&](unsigned code) {
      bits |= static_cast<unsigned long>(code) << bitCount;
      bitCount += 9;
      while (bitCount >= 8) {
        data.push_back(bits & 0xFF);
        bits >>= 8;
        bitCount -= 8;
      }
    };
    int sinceClear = 0;
    emit(256);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const unsigned char* px = &frame.rgb[(static_cast<size_t>(y) * w + x) * 3];
        if (sinceClear == 254) {
          emit(256);
          sinceClear = 0;
        }
        emit(static_cast<unsigned>((px[0] & 0xE0) | ((px[1] >> 3) & 0x1C) | (px[2] >> 6)));
        ++sinceClear;
      }
    emit(257);
    if (bitCount > 0) data.push_back(bits & 0xFF);
    for (size_t i = 0; i < data.size(); i += 255) {
      size_t n = std::min<size_t>(255, data.size() - i);
      out.push_back(static_cast<unsigned char>(n));
      out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
  }
  out.push_back(0x3B);
  return WriteAll(path, out);
}

bool WriteHeic(const std::string& path, const Picture& picture, int orientation) {
  const Picture stored = Stored(picture, orientation);
  const FileBytes heic = EncodeHeic(stored.rgb.data(), stored.width, stored.height, orientation, 160);
  return !heic.empty() && WriteAll(path, heic);
}

bool WriteWebp(const std::string& path, const Picture& picture) {
  const FileBytes webp = EncodeWebp(picture.rgb.data(), picture.width, picture.height, false, 0);
  return !webp.empty() && WriteAll(path, webp);
}

bool WriteAnimatedWebp(const std::string& path, const std::vector<Picture>& frames) {
  std::vector<const std::uint8_t*> rgb;
  for (const Picture& frame : frames) rgb.push_back(frame.rgb.data());
  const FileBytes webp = frames.empty() ? FileBytes{} : EncodeAnimatedWebp(rgb, frames[0].width, frames[0].height);
  return !webp.empty() && WriteAll(path, webp);
}
