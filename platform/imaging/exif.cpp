#include "platform/imaging/exif.h"

#include <cstring>

namespace {

constexpr std::uint32_t kOrientationTag = 0x0112;
constexpr std::uint32_t kShort = 3, kLong = 4;
// A JPEG file has a few dozen segments before its scan; fill bytes count as one each.
constexpr int kMaxSegments = 4096;

bool IsExifPrefix(const BYTE* p, size_t size) { return size >= 6 && std::memcmp(p, "Exif\0\0", 6) == 0; }

}  // namespace

int ExifOrientation(const BYTE* block, size_t size) {
  if (!block) return 0;
  if (IsExifPrefix(block, size)) {
    block += 6;
    size -= 6;
  }
  if (size < 8) return 0;
  bool little;
  if (block[0] == 'I' && block[1] == 'I') {
    little = true;
  } else if (block[0] == 'M' && block[1] == 'M') {
    little = false;
  } else {
    return 0;
  }
  // Every read is checked against the block's end by the caller below.
  auto u16 = [&](std::uint64_t at) -> std::uint32_t {
    const BYTE* p = block + at;
    return little ? std::uint32_t(p[0] | p[1] << 8) : std::uint32_t(p[0] << 8 | p[1]);
  };
  auto u32 = [&](std::uint64_t at) -> std::uint32_t {
    return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
  };
  if (u16(2) != 42) return 0;
  const std::uint64_t directory = u32(4);
  if (directory + 2 > size) return 0;
  // A directory that does not fit the block is damaged: nothing in it is trusted.
  const std::uint32_t entries = u16(directory);
  if (directory + 2 + 12ull * entries > size) return 0;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint64_t entry = directory + 2 + 12ull * i;
    if (u16(entry) != kOrientationTag) continue;
    // One value, held in the entry itself.
    const std::uint32_t type = u16(entry + 2), count = u32(entry + 4);
    if (count != 1 || (type != kShort && type != kLong)) return 0;
    const std::uint32_t value = type == kShort ? u16(entry + 8) : u32(entry + 8);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
  }
  return 0;
}

bool ReadJpegExif(const ReadAtFunction& read, std::vector<BYTE>* block) {
  block->clear();
  BYTE head[4];
  if (!read(0, head, 2) || head[0] != 0xFF || head[1] != 0xD8) return false;
  std::uint64_t at = 2;
  for (int segments = 0; segments < kMaxSegments; ++segments) {
    if (!read(at, head, 2) || head[0] != 0xFF) return false;
    const BYTE marker = head[1];
    if (marker == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      at += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return false;  // the scan or the end: no EXIF before it
    if (!read(at + 2, head + 2, 2)) return false;
    const size_t length = size_t{head[2]} << 8 | head[3];
    if (length < 2) return false;
    if (marker == 0xE1 && length >= 2 + 6) {
      block->resize(length - 2);
      if (!read(at + 4, block->data(), block->size())) break;
      if (IsExifPrefix(block->data(), block->size())) return true;
    }
    at += 2 + length;
  }
  block->clear();
  return false;
}

int JpegOrientation(const ReadAtFunction& read) {
  std::vector<BYTE> block;
  return ReadJpegExif(read, &block) ? ExifOrientation(block.data(), block.size()) : 0;
}

ReadAtFunction ReadFromMemory(const BYTE* data, size_t size) {
  return [data, size](std::uint64_t offset, BYTE* out, size_t count) {
    if (offset > size || count > size - offset) return false;
    std::memcpy(out, data + offset, count);
    return true;
  };
}
