// The skin as files: the resource list (res/skin.rc) and its palette BMP pictures, read and
// written for the skin's tools.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/types.h"

// One line of the resource list:  129  BITMAP  "bitmaps/129.bmp"  // role
struct SkinResource {
  int id = 0;
  bool icon = false;   // ICON, else BITMAP
  std::string path;    // the file, with the list's folder in front
  std::string role;    // the comment, if any
};

// The list's entries in its order; nothing, with the fault and its line in error, when a
// line is not an entry or an id comes twice for the same type.
std::optional<std::vector<SkinResource>> ReadResourceList(const std::string& path, std::string* error);

// A picture of palette indices, rows top to bottom.
struct IndexedPicture {
  int width = 0, height = 0;
  int colours = 0;             // palette entries in use
  std::vector<BYTE> palette;   // 256 red, green, blue triples; those past colours are 0
  std::vector<BYTE> pixels;    // width x height indices, each below colours
};

// Reads a BMP file with a palette (1, 4 or 8 bits, uncompressed or run-length coded); false,
// with the reason in error, for any other file or one whose pixels use colours its palette
// does not have.
bool ReadIndexedBmp(const std::string& path, IndexedPicture* picture, std::string* error);
// Writes the picture as an uncompressed 8-bit BMP file (rows bottom-up, the palette's first
// colours entries), the form every image editor reads.
bool WriteIndexedBmp(const std::string& path, const IndexedPicture& picture);
