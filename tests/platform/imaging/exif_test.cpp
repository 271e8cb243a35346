// The orientation tag read from EXIF blocks of either byte order, and found among a JPEG
// file's segments.
#include "platform/imaging/exif.h"

#include <gtest/gtest.h>

#include "tools/demo/phone_files.h"

namespace {

// A big-endian block whose directory holds another tag, then the orientation as type/value.
FileBytes BigEndian(unsigned type, unsigned value) {
  FileBytes b = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 2};
  auto entry = [&](unsigned tag, unsigned t, unsigned v) {
    for (unsigned x : {tag >> 8, tag, t >> 8, t, 0u, 0u, 0u, 1u, v >> 24, v >> 16, v >> 8, v}) b.push_back(std::uint8_t(x));
  };
  entry(0x010F, 2, 0);  // the camera's maker, an ASCII string
  entry(0x0112, type, type == 3 ? value << 16 : value);
  return b;
}

// The bytes without their first `front` and last `back` ones.
FileBytes Trim(const FileBytes& bytes, size_t front, size_t back) {
  return FileBytes(bytes.begin() + long(front), bytes.end() - long(back));
}

FileBytes Segment(std::uint8_t marker, const FileBytes& payload) {
  FileBytes s = {0xFF, marker, std::uint8_t((payload.size() + 2) >> 8), std::uint8_t(payload.size() + 2)};
  s.insert(s.end(), payload.begin(), payload.end());
  return s;
}

TEST(ExifOrientation, ReadsOneValueOfEitherByteOrderFoundInTheFirstExifSegmentBeforeTheScan) {
  struct Case {
    FileBytes bytes;
    int tag;
  } cases[] = {
      {ExifBlock(6), 6},
      {Trim(ExifBlock(8), 6, 0), 8},  // without "Exif\0\0", as WebP keeps it
      {ExifBlock(0, FileBytes(40, 1)), 0},                           // a thumbnail and no tag
      {BigEndian(3, 5), 5},
      {BigEndian(4, 7), 7},
      {BigEndian(3, 0), 0},
      {BigEndian(3, 9), 0},
      {BigEndian(9, 3), 0},  // a signed long
      {Trim(ExifBlock(6), 0, 10), 0},  // cut inside the entry
      {{}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ExifOrientation(c.bytes.data(), c.bytes.size()), c.tag) << c.bytes.size();

  // In a JPEG file: the first EXIF segment before the scan.
  const FileBytes exif = ExifBlock(3);
  const FileBytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.'};
  auto file = [](std::initializer_list<FileBytes> segments) {
    FileBytes f = {0xFF, 0xD8};
    for (const FileBytes& s : segments) f.insert(f.end(), s.begin(), s.end());
    return f;
  };
  const Case files[] = {
      {file({Segment(0xE0, FileBytes(14, 'J')), Segment(0xE1, xmp), Segment(0xE1, exif)}), 3},
      {file({{0xFF, 0xFF}, Segment(0xE1, exif), Segment(0xE1, ExifBlock(6))}), 3},
      {file({Segment(0xDB, FileBytes(65, 0)), Segment(0xDA, FileBytes(8, 0)), Segment(0xE1, exif)}), 0},
      {Trim(file({Segment(0xE1, exif)}), 0, 3), 0},
      {file({{0xFF, 0xE1, 0x00, 0x01}}), 0},  // a length shorter than itself
      {file({FileBytes(200, 0xFF)}), 0},       // fill bytes to the end
      {FileBytes{0x89, 'P', 'N', 'G'}, 0},
  };
  for (const Case& c : files) EXPECT_EQ(JpegOrientation(ReadFromMemory(c.bytes.data(), c.bytes.size())), c.tag);
}

}  // namespace
