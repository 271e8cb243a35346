#include "platform/media/photo_info.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/imaging/exif.h"
#include "platform/imaging/imaging.h"
#include "platform/imaging/orientation.h"
#include "platform/imaging/picture_facts.h"

namespace {

struct Facts {
  const char16_t* format;
  std::int32_t width;
  std::int32_t height;
  std::int32_t depth;
};

std::uint32_t Be16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0] << 8 | p[1]); }
std::uint32_t Be32(const unsigned char* p) { return Be16(p) << 16 | Be16(p + 2); }
std::uint32_t Le16(const unsigned char* p) { return static_cast<std::uint32_t>(p[1] << 8 | p[0]); }
std::uint32_t Le32(const unsigned char* p) { return Le16(p + 2) << 16 | Le16(p); }

// Reads exactly count bytes at offset; false at the end of the file or on an error.
bool ReadAt(std::ifstream& in, std::uint64_t offset, unsigned char* out, size_t count) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
  return in.gcount() == static_cast<std::streamsize>(count);
}

bool IsFrameMarker(unsigned char m) {
  // Start-of-frame markers: C0..CF except DHT (C4), JPG (C8) and DAC (CC).
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

std::optional<Facts> ReadJpeg(std::ifstream& in) {
  // Walks the marker segments from the start of the file to the first frame header.
  std::uint64_t pos = 2;
  for (int segments = 0; segments < 10000; ++segments) {
    unsigned char head[4];
    if (!ReadAt(in, pos, head, 2)) return std::nullopt;
    if (head[0] != 0xFF) return std::nullopt;
    unsigned char marker = head[1];
    if (marker == 0xFF) {  // fill byte
      pos += 1;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // segments without a length
      pos += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // image or scan data before a frame
    if (!ReadAt(in, pos + 2, head + 2, 2)) return std::nullopt;
    std::uint32_t length = Be16(head + 2);
    if (length < 2) return std::nullopt;
    if (IsFrameMarker(marker)) {
      unsigned char frame[6];  // precision, height, width, components
      if (length < 8 || !ReadAt(in, pos + 4, frame, sizeof frame)) return std::nullopt;
      auto height = static_cast<std::int32_t>(Be16(frame + 1));
      auto width = static_cast<std::int32_t>(Be16(frame + 3));
      if (width == 0 || height == 0 || frame[5] == 0) return std::nullopt;
      // The size of the photo as it is shown: upright by its orientation tag.
      const int tag = JpegOrientation([&in](std::uint64_t offset, BYTE* out, size_t count) {
        return ReadAt(in, offset, out, count);
      });
      if (SwapsSides(ShownOrientation(tag))) std::swap(width, height);
      return Facts{u"JPEG", width, height, frame[0] * frame[5]};
    }
    pos += 2 + length;
  }
  return std::nullopt;
}

std::optional<Facts> ReadPng(std::ifstream& in) {
  unsigned char h[25];  // signature, IHDR length and type, width, height, depth, colour type
  if (!ReadAt(in, 0, h, sizeof h) || std::memcmp(h + 12, "IHDR", 4) != 0) return std::nullopt;
  std::uint32_t width = Be32(h + 16), height = Be32(h + 20);
  int bits = h[24];
  unsigned char type;
  if (!ReadAt(in, 25, &type, 1)) return std::nullopt;
  int channels;
  switch (type) {
    case 0: channels = 1; break;  // grey
    case 2: channels = 3; break;  // RGB
    case 3: channels = 1; break;  // palette
    case 4: channels = 2; break;  // grey and alpha
    case 6: channels = 4; break;  // RGBA
    default: return std::nullopt;
  }
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return std::nullopt;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) return std::nullopt;
  return Facts{u"PNG", static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), bits * channels};
}

std::optional<Facts> ReadGif(std::ifstream& in) {
  unsigned char h[11];  // signature, logical screen width and height, flags
  if (!ReadAt(in, 0, h, sizeof h)) return std::nullopt;
  auto width = static_cast<std::int32_t>(Le16(h + 6));
  auto height = static_cast<std::int32_t>(Le16(h + 8));
  if (width == 0 || height == 0) return std::nullopt;
  // The global colour table's size gives the bits per pixel; without one, the colour
  // resolution field does.
  unsigned char flags = h[10];
  int depth = (flags & 0x80) ? (flags & 0x07) + 1 : ((flags >> 4) & 0x07) + 1;
  return Facts{u"GIF", width, height, depth};
}

std::optional<Facts> ReadBmp(std::ifstream& in) {
  unsigned char h[30];
  if (!ReadAt(in, 0, h, 26)) return std::nullopt;
  std::uint32_t headerSize = Le32(h + 14);
  std::int64_t width, height;
  int bits;
  if (headerSize == 12) {  // the old OS/2 header with 16-bit sizes
    width = Le16(h + 18);
    height = Le16(h + 20);
    bits = static_cast<int>(Le16(h + 24));
  } else if (headerSize >= 40 && headerSize <= 4096) {
    if (!ReadAt(in, 0, h, sizeof h)) return std::nullopt;
    width = static_cast<std::int32_t>(Le32(h + 18));
    height = static_cast<std::int32_t>(Le32(h + 22));  // negative for rows top to bottom
    bits = static_cast<int>(Le16(h + 28));
  } else {
    return std::nullopt;
  }
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0 || height > 0x7FFFFFFF) return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return std::nullopt;
  return Facts{u"BMP", static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), bits};
}

// WebP and HEIF files, whose headers only their libraries read, as the imaging service reads
// them (from the whole file).
std::optional<Facts> ReadThroughImaging(std::ifstream& in) {
  in.clear();
  in.seekg(0);
  std::vector<BYTE> file{std::istreambuf_iterator<char>(in), {}};
  PictureFileFacts facts;
  if (in.bad() || !ReadPictureFacts(std::move(file), &facts)) return std::nullopt;
  if (facts.width > 0x7FFFFFFF || facts.height > 0x7FFFFFFF) return std::nullopt;
  const char16_t* format = facts.format == ImageFormatWEBP ? u"WEBP" : facts.format == ImageFormatHEIF ? u"HEIC" : nullptr;
  if (!format) return std::nullopt;
  return Facts{format, static_cast<std::int32_t>(facts.width), static_cast<std::int32_t>(facts.height),
               static_cast<std::int32_t>(facts.bitsPerPixel)};
}

std::optional<Facts> Recognise(std::ifstream& in, const unsigned char* sig, size_t have) {
  auto starts = [&](std::string_view prefix) {
    return have >= prefix.size() && std::memcmp(sig, prefix.data(), prefix.size()) == 0;
  };
  if (starts("\xFF\xD8")) return ReadJpeg(in);
  if (starts("\x89PNG\r\n\x1A\n")) return ReadPng(in);
  if (starts("GIF87a") || starts("GIF89a")) return ReadGif(in);
  if (starts("BM")) return ReadBmp(in);
  if ((starts("RIFF") && have >= 12 && std::memcmp(sig + 8, "WEBP", 4) == 0) ||
      (have >= 12 && std::memcmp(sig + 4, "ftyp", 4) == 0))
    return ReadThroughImaging(in);
  return std::nullopt;
}

void Fill(_tag_PHOTO_INFO* info, const Facts& facts) {
  std::memset(info->Format, 0, sizeof info->Format);
  std::char_traits<char16_t>::copy(info->Format, facts.format, std::char_traits<char16_t>::length(facts.format));
  info->Width = facts.width;
  info->Height = facts.height;
  info->BitDepth = facts.depth;
}

}  // namespace

int ReadPhotoInfo(const std::string& hostPath, _tag_PHOTO_INFO* info) {
  std::error_code error;
  if (!info || hostPath.empty() || !std::filesystem::is_regular_file(hostPath, error)) return -1;
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return -1;
  unsigned char sig[12] = {};
  in.read(reinterpret_cast<char*>(sig), sizeof sig);
  if (in.bad()) return -1;
  size_t have = static_cast<size_t>(in.gcount());
  Fill(info, Recognise(in, sig, have).value_or(Facts{u"NON", 0, 0, 0}));
  return 0;
}
