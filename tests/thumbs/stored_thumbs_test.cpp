// Stored thumbnails as a frame meets them over months: another card whose photos have the
// same names, index files damaged in any way, and internal storage that is full.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "folders/photo_list.h"
#include "platform/kernel/debug.h"
#include "store/parm_file.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/temp_root.h"
#include "thumbs/thumb_index.h"

namespace {

const Rgb kColours[] = {{220, 30, 30}, {30, 200, 30}, {30, 30, 220}, {220, 220, 30}, {30, 220, 220}};

class StoredThumbs : public ImagingTest {
 protected:
  void SetUp() override {
    ImagingTest::SetUp();
    TheThumbIndex() = CThumbIndex();
    m_Root.ListInNameOrder();
  }
  void TearDown() override {
    TheThumbIndex() = CThumbIndex();
    ImagingTest::TearDown();
  }

  // The centre of a thumbnail (a stored one is read as a picture: its pixels are those of a
  // copy in memory); a photo of one colour gives a thumbnail of that colour.
  static Rgb Centre(IImage* image) {
    Ref<IImage> copy;
    Ref<IBitmapImage> bitmap;
    if (!image || FAILED(image->GetThumbnail(50, 50, copy.put())) ||
        FAILED(copy->QueryInterface(IID_IBitmapImage, bitmap.put_void())))
      return Rgb{};
    const Picture p = Pixels(bitmap.get());
    return p.at(p.width / 2, p.height / 2);
  }
  // The card's top folder holds IMG_0001.JPG ... of these colours, as a camera names them.
  void Card(const std::vector<int>& colours) {
    for (size_t i = 0; i < colours.size(); ++i)
      m_Root.WriteFile("SDMMC/IMG_000" + std::to_string(i + 1) + ".JPG", MakeJpeg(Solid(160, 120, kColours[colours[i]]), 95));
    m_Colours = colours;
  }
  // Gets every photo's thumbnail as the thumbnail thread does and checks it shows its photo.
  void ExpectOwnThumbnails(const std::string& when) {
    CPhotoList list;
    list.Fill(u"\\SDMMC\\");
    ASSERT_EQ(list.GetCount(), static_cast<int>(m_Colours.size()));
    for (int i = 0; i < list.GetCount(); ++i) {
      list.LoadThumb(i);
      list.MakeThumb(i);
      EXPECT_TRUE(Near(Centre(list.GetEntry(i)->thumb), kColours[m_Colours[i]], 23)) << when << ": photo " << i;
    }
  }
  // The process ends, `meanwhile` happens, and it starts again.
  static void Restart(const std::function<void()>& meanwhile = [] {}) {
    TheThumbIndex().Save();
    meanwhile();
    TheThumbIndex() = CThumbIndex();
    TheThumbIndex().Load();
  }

  TempDeviceRoot m_Root;
  std::vector<int> m_Colours;
};

TEST_F(StoredThumbs, ACardSwappedForAnotherShowsItsOwnPhotosAndNeverTheOldThumbnails) {
  Card({0, 1, 2});
  ExpectOwnThumbnails("first card");
  // An index of an older version keeps no stamps: it is used as it is, and stamped on the way.
  Restart([&] { std::filesystem::remove(m_Root.Path() / "NAND/_Thumbnails/stamps.txt"); });
  ExpectOwnThumbnails("first card again");
  EXPECT_EQ(TheThumbIndex().Entries().size(), 3u);  // nothing made again
  Card({3, 4, 0});  // the same names on another card
  ExpectOwnThumbnails("second card");
  Restart();
  ExpectOwnThumbnails("second card again");
  EXPECT_EQ(TheThumbIndex().Entries().size(), 6u);  // three new positions, no more
}

TEST_F(StoredThumbs, DamagedIndexFilesNeverGiveAWrongThumbnail) {
  const std::string map = "NAND/_Thumbnails/map.txt", stamps = "NAND/_Thumbnails/stamps.txt";
  const auto utf16 = [](const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
  };
  const TempDeviceRoot& r = m_Root;
  struct Damage {
    const char* what;
    std::function<void()> apply;
  };
  const Damage damages[] = {
      {"map.txt cut in a line", [&] { r.WriteFile(map, r.ReadFile(map).substr(0, 41)); }},
      {"map.txt with a long first line", [&] { r.WriteFile(map, utf16(std::string(70000, 'x') + "\r\n") + r.ReadFile(map)); }},
      {"map.txt naming photos twice, out of order",
       [&] { r.WriteFile(map, utf16("\\SDMMC\\IMG_0002.JPG\r\n\\SDMMC\\IMG_0001.JPG\r\n\\SDMMC\\IMG_0001.JPG\r\n")); }},
      {"map.txt of odd bytes", [&] { r.WriteFile(map, std::string("\r\0\n", 3)); }},
      {"thumbnail files missing or empty",
       [&] { std::filesystem::remove(r.Path() / "NAND/_Thumbnails/0"); r.WriteFile("NAND/_Thumbnails/1", ""); }},
      {"stamps.txt cut", [&] { r.WriteFile(stamps, r.ReadFile(stamps).substr(0, 30)); }},
      {"stamps.txt of another index", [&] { r.WriteFile(stamps, "\r\n" + r.ReadFile(stamps)); }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    std::filesystem::remove_all(m_Root.Path() / "NAND" / "_Thumbnails");
    TheThumbIndex() = CThumbIndex();
    Card({0, 1, 2});
    ExpectOwnThumbnails("before");
    Restart([&] {
      damage.apply();
      Card({2, 0, 1});  // and the photos changed too
    });
    ExpectOwnThumbnails("after");
  }
}

// Every file under the folder (but the filler), by relative path.
std::map<std::string, std::string> Files(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    if (entry.is_regular_file() && entry.path().filename() != "filler")
      files[std::filesystem::relative(entry.path(), folder)] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

TEST_F(StoredThumbs, FullStorageKeepsEveryFileAsItWasAndStillShowsTheNewThumbnail) {
  // A small file system of its own for the internal storage, so that it fills up.
  const std::filesystem::path nand = m_Root.Path() / "NAND";
  if (mount("vellumet-test", nand.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small file system for the internal storage here (" << std::strerror(errno)
                 << "); the full-storage case is not tested";
  Card({0, 1});
  CParmFileRW parm;
  ASSERT_EQ(parm.Write(u"NAND\\SETTING.PAR", std::string(32, '\x11').data(), 32), 0);
  {
    CPhotoList list;
    list.Fill(u"\\SDMMC\\");
    list.LoadThumb(0);
    list.MakeThumb(0);
  }
  ASSERT_TRUE(TheThumbIndex().Save());
  const auto before = Files(nand);
  {
    std::ofstream filler(nand / "filler", std::ios::binary);
    for (const std::string block(4096, 'f'); filler.write(block.data(), block.size());) {
    }
  }
  ExpectOwnThumbnails("storage full");  // the second is made and shown, not stored
  DebugCapture log;
  EXPECT_FALSE(TheThumbIndex().Save());
  EXPECT_EQ(log.Text().rfind("Error code 112", 0), 0u) << log.Text();
  parm.Write(u"NAND\\SETTING.PAR", std::string(32, '\x22').data(), 32);
  EXPECT_EQ(Files(nand), before);  // every file as it was, and nothing more
  std::filesystem::remove(nand / "filler");

  // With room again, everything is stored and found at the next start.
  Restart();
  ExpectOwnThumbnails("room again");
  Restart();
  WString thumb;
  for (const WString photo : {u"\\SDMMC\\IMG_0001.JPG", u"\\SDMMC\\IMG_0002.JPG"})
    EXPECT_TRUE(TheThumbIndex().Lookup(photo, thumb, false));
  umount2(nand.c_str(), MNT_DETACH);
}

}  // namespace
