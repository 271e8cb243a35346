// Test pictures made with the format libraries' encoders (and a BMP writer of our own),
// and small helpers around the imaging interfaces.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/imaging/imaging.h"
#include "tools/demo/phone_files.h"

using Bytes = std::vector<BYTE>;

// A picture of 8-bit red, green, blue pixels, rows top to bottom.
struct Rgb {
  BYTE r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c);

struct Picture {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;
  Rgb& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
  const Rgb& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
// Every pixel a different colour (x and y readable from it), so moves can be checked.
Picture Pattern(int width, int height);
// exif: the EXIF block to put into an APP1 segment (ExifBlock; none when empty).
Bytes MakeJpeg(const Picture& picture, int quality = 95, const Bytes& exif = {}, bool grey = false,
               bool progressive = false);
// The picture as a camera with that orientation tag stores it.
Picture StoredFor(const Picture& upright, int orientation);
enum class PngKind { Rgb, Grey, Palette, RgbAlpha, Rgb16, Interlaced };
// Palette pictures may have at most 256 colours; alpha comes from the alpha array.
Bytes MakePng(const Picture& picture, PngKind kind, const std::vector<BYTE>& alpha = {});
// frames: the colour of each full-screen frame of a width x height animation.
Bytes MakeGif(int width, int height, const std::vector<Rgb>& frames);
// bits: 1, 4, 8 (palette of the picture's colours), 16 (5-5-5), 24 or 32.
Bytes MakeBmp(const Picture& picture, int bits, bool topDown);

// The reference-counted pointer the tests hold interfaces through.
template <typename T>
class Ref {
 public:
  Ref() = default;
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// COM set up and the factory created, for one test.
class ImagingTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A memory stream that owns a copy of the bytes.
  static HRESULT Stream(const Bytes& bytes, IStream** stream);
  // The bytes decoded the way the photo decoder does it: decoder, bitmap of the decoder's
  // size in the given format (0: the decoder's), BeginDecode, Decode until done, EndDecode.
  HRESULT Decode(const Bytes& bytes, IBitmapImage** bitmap, PixelFormatID format = PixelFormat24bppRGB,
                 UINT frame = 0);
  // The pixels of any bitmap at 8 bits a channel.
  static Picture Pixels(IBitmapImage* bitmap);
  // A decoder, or a picture, of the bytes.
  HRESULT OpenDecoder(const Bytes& bytes, IImageDecoder** decoder);
  HRESULT OpenImage(const Bytes& bytes, IImage** image);
  // Decode's pixels, expecting success; Decode's result; the decoder's creation result.
  Picture DecodeOk(const Bytes& bytes, UINT frame = 0);
  HRESULT DecodeResult(const Bytes& bytes);
  HRESULT OpenResult(const Bytes& bytes) {
    Ref<IImageDecoder> decoder;
    return OpenDecoder(bytes, decoder.put());
  }

  static Picture Solid(int width, int height, Rgb colour) {
    return Picture{width, height, std::vector<Rgb>(static_cast<size_t>(width) * height, colour)};
  }
  static bool Near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
  }

  Ref<IImagingFactory> factory_;
};
