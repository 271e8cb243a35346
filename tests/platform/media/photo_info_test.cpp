#include "platform/media/photo_info.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/media/player.h"
#include "platform/kernel/wide.h"
#include "tests/support/temp_root.h"

namespace {

std::string Be16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
std::string Be32(std::uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string Segment(unsigned char marker, const std::string& body) {
  return std::string{'\xFF', static_cast<char>(marker)} + Be16(static_cast<unsigned>(body.size() + 2)) + body;
}

// The start of a JPEG file up to its frame header, with the tables a camera writes first.
std::string Jpeg(unsigned width, unsigned height, int components, unsigned char frameMarker = 0xC0) {
  std::string frame = std::string(1, 8) + Be16(height) + Be16(width) + std::string(1, static_cast<char>(components));
  for (int c = 0; c < components; ++c) frame += std::string{static_cast<char>(c + 1), 0x11, 0};
  return "\xFF\xD8" + Segment(0xE0, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14)) +
         Segment(0xE1, "Exif" + std::string(3000, '\0')) +  // a large EXIF block
         Segment(0xDB, std::string(65, '\x01')) + "\xFF\xFF" +   // a fill byte before the next marker
         Segment(0xC4, std::string(30, '\x02')) +                // a Huffman table, not a frame
         Segment(frameMarker, frame) + Segment(0xDA, std::string(10, '\0')) + "\x12\x34\xFF\xD9";
}

std::string Png(std::uint32_t width, std::uint32_t height, int bits, int colourType) {
  std::string ihdr = Be32(width) + Be32(height) + std::string{static_cast<char>(bits), static_cast<char>(colourType), 0, 0, 0};
  return std::string("\x89PNG\r\n\x1A\n", 8) + Be32(13) + "IHDR" + ihdr + Be32(0) + Be32(0) + "IEND" + Be32(0);
}

std::string Gif(unsigned width, unsigned height, unsigned char flags) {
  return "GIF89a" + Le16(width) + Le16(height) + std::string{static_cast<char>(flags), 0, 0} + std::string(48, '\0') + ";";
}

std::string Bmp(std::int32_t width, std::int32_t height, int bits) {
  std::string info = Le32(40) + Le32(static_cast<std::uint32_t>(width)) + Le32(static_cast<std::uint32_t>(height)) +
                     Le16(1) + Le16(static_cast<unsigned>(bits)) + std::string(24, '\0');
  return "BM" + Le32(54 + 16) + Le32(0) + Le32(54) + info + std::string(16, '\x7F');
}

std::string OldBmp(unsigned width, unsigned height, int bits) {
  return "BM" + Le32(26 + 6) + Le32(0) + Le32(26) + Le32(12) + Le16(width) + Le16(height) + Le16(1) +
         Le16(static_cast<unsigned>(bits)) + std::string(6, '\0');
}

struct Read {
  int result;
  std::string format;
  std::int32_t width, height, depth;
  bool operator==(const Read&) const = default;
};
void PrintTo(const Read& r, std::ostream* out) {
  *out << r.result << " " << r.format << " " << r.width << "x" << r.height << "x" << r.depth;
}

class PhotoInfoTest : public ::testing::Test {
 protected:
  Read Info(const std::string& name, const std::string& bytes) {
    m_root.WriteFile("SDMMC/" + name, bytes);
    return InfoOf(u"\\SDMMC\\" + FromUtf8(name));
  }
  Read InfoOf(const WString& devicePath) {
    // A record in a larger buffer, as callers give it, preset to garbage.
    unsigned char buffer[300];
    std::memset(buffer, 0xEE, sizeof buffer);
    auto* record = reinterpret_cast<_tag_PHOTO_INFO*>(buffer);
    int result = m_player.GetPhotoInfo(record, devicePath.c_str());
    for (size_t i = sizeof(_tag_PHOTO_INFO); i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xEE) << "byte " << i;
    if (result == -1) return {result, "", 0, 0, 0};
    return {result, ToUtf8(record->Format), record->Width, record->Height, record->BitDepth};
  }

  TempDeviceRoot m_root;
  Cplayerc m_player;
};

TEST_F(PhotoInfoTest, ReadsEachFormatFromItsHeaderByDevicePath) {
  EXPECT_EQ(Info("a.jpg", Jpeg(4000, 3000, 3)), (Read{0, "JPEG", 4000, 3000, 24}));
  EXPECT_EQ(Info("grey.JPE", Jpeg(640, 480, 1, 0xC2)), (Read{0, "JPEG", 640, 480, 8}));  // progressive
  EXPECT_EQ(Info("b.png", Png(1920, 1080, 8, 6)), (Read{0, "PNG", 1920, 1080, 32}));
  EXPECT_EQ(Info("c.png", Png(33, 17, 4, 3)), (Read{0, "PNG", 33, 17, 4}));              // palette
  EXPECT_EQ(Info("d.png", Png(5, 6, 16, 0)), (Read{0, "PNG", 5, 6, 16}));                // 16-bit grey
  EXPECT_EQ(Info("e.gif", Gif(320, 200, 0xF7)), (Read{0, "GIF", 320, 200, 8}));          // 256 colours
  EXPECT_EQ(Info("f.gif", Gif(64, 64, 0x80 | 0x01)), (Read{0, "GIF", 64, 64, 2}));
  EXPECT_EQ(Info("g.bmp", Bmp(800, -480, 24)), (Read{0, "BMP", 800, 480, 24}));          // rows top to bottom
  EXPECT_EQ(Info("h.bmp", Bmp(3, 2, 1)), (Read{0, "BMP", 3, 2, 1}));
  EXPECT_EQ(Info("i.bmp", OldBmp(100, 50, 8)), (Read{0, "BMP", 100, 50, 8}));
  // The content decides, not the name.
  EXPECT_EQ(Info("really-a-png.jpg", Png(7, 8, 8, 2)), (Read{0, "PNG", 7, 8, 24}));

  // Files are found by device path, in any case; what cannot be read at all gives -1.
  m_root.WriteFile("SDMMC/Holiday/Beach.JPG", Jpeg(1600, 1200, 3));
  EXPECT_EQ(InfoOf(u"\\sdmmc\\HOLIDAY\\beach.jpg"), (Read{0, "JPEG", 1600, 1200, 24}));
  EXPECT_EQ(InfoOf(u"\\SDMMC\\missing.jpg").result, -1);
  EXPECT_EQ(InfoOf(u"\\SDMMC").result, -1);            // a folder
  EXPECT_EQ(InfoOf(u"\\..\\outside.jpg").result, -1);  // outside the device
  _tag_PHOTO_INFO info;
  EXPECT_EQ(m_player.GetPhotoInfo(&info, nullptr), -1);
  EXPECT_EQ(ReadPhotoInfo("", &info), -1);
}

TEST_F(PhotoInfoTest, DamagedOrUnknownFilesAreNon) {
  std::string jpeg = Jpeg(4000, 3000, 3);
  std::string png = Png(100, 100, 8, 2);
  const std::pair<const char*, std::string> damaged[] = {
      {"cut-before-frame.jpg", jpeg.substr(0, 2000)},
      {"cut-in-frame.jpg", jpeg.substr(0, jpeg.find("\xFF\xC0") + 6)},
      {"zero-size.jpg", Jpeg(0, 3000, 3)},
      {"no-marker.jpg", "\xFF\xD8garbage"},
      {"cut.png", png.substr(0, 20)},
      {"bad-type.png", Png(100, 100, 8, 5)},
      {"zero.gif", Gif(0, 10, 0)},
      {"bad-header.bmp", "BM" + std::string(12, '\0') + Le32(20) + std::string(40, '\0')},
      {"odd-bits.bmp", Bmp(10, 10, 7)},
      {"text.jpg", "hello, world"},
      {"empty.png", ""},
  };
  for (const auto& [name, bytes] : damaged) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Info(name, bytes), (Read{0, "NON", 0, 0, 0}));
  }
}

}  // namespace
