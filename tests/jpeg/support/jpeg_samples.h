// Test pictures for the JPEG core: generated content, encoded (with the demo card's encoder)
// and decoded with libjpeg.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/demo/jpeg_encoder.h"

enum class Content { Smooth, Detailed };

struct Rgb {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // RGB, rows top to bottom
};

// A deterministic photo-like picture: gradients and soft shapes, or those with fine
// texture, noise and hard edges on top.
Rgb MakePicture(int width, int height, Content content, uint32_t seed = 1);

inline std::vector<uint8_t> EncodeJpeg(const Rgb& picture, const EncodeOptions& options) {
  return EncodeJpeg(picture.pixels.data(), picture.width, picture.height, options);
}

// libjpeg's own decode to RGB with plain (replicating) upsampling; scaleDenom 8 gives one
// pixel per block (its DC value).
Rgb ReferenceDecode(const std::vector<uint8_t>& jpeg, int scaleDenom = 1);

// Byte-level rewrites of the header: the DRI segment moved to just after SOI, all DQT
// segments before the first scan merged into one.
std::vector<uint8_t> MoveDriBeforeFrame(const std::vector<uint8_t>& jpeg);
std::vector<uint8_t> MergeDqtSegments(const std::vector<uint8_t>& jpeg);
// The DHT segments taken out, as motion-JPEG frames leave them out.
std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& jpeg);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// A 64-bit FNV-1a checksum: how decoded pictures are pinned and compared between runs.
uint64_t Fnv1a(const void* data, size_t n);
