#include "tools/demo/phone_files.h"

#include <cstring>
#include <memory>
#include <string>

#include <libheif/heif.h>
#include <webp/encode.h>

namespace {

void Put16(FileBytes& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put24(FileBytes& out, unsigned v) {
  Put16(out, v & 0xFFFF);
  out.push_back(static_cast<std::uint8_t>(v >> 16));
}
void Put32(FileBytes& out, unsigned v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A RIFF chunk: its tag, its size and its payload, padded to an even length.
void PutChunk(FileBytes& out, const char* tag, const FileBytes& payload) {
  out.insert(out.end(), tag, tag + 4);
  Put32(out, static_cast<unsigned>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
  if (payload.size() % 2) out.push_back(0);
}

FileBytes RiffWebp(const FileBytes& chunks) {
  FileBytes out = {'R', 'I', 'F', 'F'};
  Put32(out, static_cast<unsigned>(4 + chunks.size()));
  out.insert(out.end(), {'W', 'E', 'B', 'P'});
  out.insert(out.end(), chunks.begin(), chunks.end());
  return out;
}

// The extended header: flags (0x08 EXIF, 0x02 animation) and the canvas.
FileBytes Vp8x(unsigned flags, int width, int height) {
  FileBytes payload;
  Put32(payload, flags);
  Put24(payload, static_cast<unsigned>(width - 1));
  Put24(payload, static_cast<unsigned>(height - 1));
  return payload;
}

// A simple WebP file's image chunk ("VP8 " or "VP8L" with its header), as libwebp writes it.
FileBytes ImageChunk(const std::uint8_t* rgb, int width, int height, bool lossless) {
  std::uint8_t* encoded = nullptr;
  const size_t size = lossless ? WebPEncodeLosslessRGB(rgb, width, height, width * 3, &encoded)
                               : WebPEncodeRGB(rgb, width, height, width * 3, 90, &encoded);
  FileBytes chunk;
  if (size > 12) chunk.assign(encoded + 12, encoded + size);
  WebPFree(encoded);
  return chunk;
}

heif_error WriteBytes(heif_context*, const void* data, size_t size, void* out) {
  auto* bytes = static_cast<FileBytes*>(out);
  bytes->insert(bytes->end(), static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

}  // namespace

FileBytes ExifBlock(int orientation, const FileBytes& thumbnailJpeg) {
  FileBytes out = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
  auto entry = [&](unsigned tag, unsigned type, unsigned value) {
    Put16(out, tag);
    Put16(out, type);
    Put32(out, 1);
    Put32(out, value);  // one SHORT or LONG, held in the entry
  };
  constexpr unsigned kShort = 3, kLong = 4;
  // Offsets count from the TIFF header; the first directory follows it.
  const unsigned entries = orientation ? 1 : 0;
  const unsigned second = thumbnailJpeg.empty() ? 0 : 8 + 2 + 12 * entries + 4;
  Put32(out, 8);
  Put16(out, entries);
  if (orientation) entry(0x0112, kShort, static_cast<unsigned>(orientation));
  Put32(out, second);
  if (!thumbnailJpeg.empty()) {
    Put16(out, 3);
    entry(0x0103, kShort, 6);  // compression: JPEG
    entry(0x0201, kLong, second + 2 + 3 * 12 + 4);
    entry(0x0202, kLong, static_cast<unsigned>(thumbnailJpeg.size()));
    Put32(out, 0);
    out.insert(out.end(), thumbnailJpeg.begin(), thumbnailJpeg.end());
  }
  return out;
}

FileBytes StoredForOrientation(const std::uint8_t* rgb, int width, int height, int orientation, int* storedWidth,
                               int* storedHeight) {
  const bool sideways = orientation >= 5 && orientation <= 8;
  const int w = sideways ? height : width, h = sideways ? width : height;
  FileBytes stored(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Where the stored pixel (x, y) stands in the upright picture.
      int u = x, v = y;
      switch (orientation) {
        case 2: u = w - 1 - x; break;
        case 3: u = w - 1 - x, v = h - 1 - y; break;
        case 4: v = h - 1 - y; break;
        case 5: u = y, v = x; break;
        case 6: u = h - 1 - y, v = x; break;
        case 7: u = h - 1 - y, v = w - 1 - x; break;
        case 8: u = y, v = w - 1 - x; break;
        default: break;
      }
      std::memcpy(&stored[(static_cast<size_t>(y) * w + x) * 3], rgb + (static_cast<size_t>(v) * width + u) * 3, 3);
    }
  *storedWidth = w;
  *storedHeight = h;
  return stored;
}

FileBytes EncodeWebp(const std::uint8_t* rgb, int width, int height, bool lossless, int orientation) {
  const FileBytes image = ImageChunk(rgb, width, height, lossless);
  if (image.empty()) return {};
  if (orientation == 0) return RiffWebp(image);
  FileBytes chunks;
  PutChunk(chunks, "VP8X", Vp8x(0x08, width, height));
  chunks.insert(chunks.end(), image.begin(), image.end());
  const FileBytes exif = ExifBlock(orientation);
  PutChunk(chunks, "EXIF", FileBytes(exif.begin() + 6, exif.end()));  // the chunk holds the TIFF block alone
  return RiffWebp(chunks);
}

FileBytes EncodeAnimatedWebp(const std::vector<const std::uint8_t*>& frames, int width, int height) {
  FileBytes chunks;
  PutChunk(chunks, "VP8X", Vp8x(0x02, width, height));
  FileBytes animation;
  Put32(animation, 0);  // background colour
  Put16(animation, 0);  // loop for ever
  PutChunk(chunks, "ANIM", animation);
  for (const std::uint8_t* rgb : frames) {
    FileBytes frame;
    Put24(frame, 0);  // at the canvas's corner
    Put24(frame, 0);
    Put24(frame, static_cast<unsigned>(width - 1));
    Put24(frame, static_cast<unsigned>(height - 1));
    Put24(frame, 100);      // milliseconds
    frame.push_back(0x02);  // drawn over, without blending
    const FileBytes image = ImageChunk(rgb, width, height, true);
    frame.insert(frame.end(), image.begin(), image.end());
    PutChunk(chunks, "ANMF", frame);
  }
  return RiffWebp(chunks);
}

FileBytes EncodeHeic(const std::uint8_t* rgb, int width, int height, int orientation, int thumbnailSide) {
  FileBytes out;
  std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(), heif_context_free);
  heif_encoder* encoder = nullptr;
  if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &encoder).code != heif_error_Ok)
    return out;
  heif_encoder_set_lossy_quality(encoder, 90);
  // One picture needs neither x265's thread pool nor its slow searches; both cost seconds on
  // a busy machine.
  heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
  heif_encoder_set_parameter_string(encoder, "x265:pools", "none");
  heif_encoder_set_parameter_string(encoder, "x265:frame-threads", "1");
  heif_image* image = nullptr;
  heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
  heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
  int stride = 0;
  std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < height; ++y) std::memcpy(plane + static_cast<size_t>(y) * stride, rgb + static_cast<size_t>(y) * width * 3, width * 3u);
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = static_cast<heif_orientation>(orientation);
  heif_image_handle* handle = nullptr;
  bool ok = heif_context_encode_image(context.get(), image, encoder, options, &handle).code == heif_error_Ok;
  if (ok && thumbnailSide > 0)
    ok = heif_context_encode_thumbnail(context.get(), image, handle, encoder, options, thumbnailSide, nullptr).code ==
         heif_error_Ok;
  heif_writer writer{1, WriteBytes};
  if (ok) ok = heif_context_write(context.get(), &writer, &out).code == heif_error_Ok;
  heif_image_handle_release(handle);
  heif_encoding_options_free(options);
  heif_image_release(image);
  heif_encoder_release(encoder);
  if (!ok) out.clear();
  return out;
}

