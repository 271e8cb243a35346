// The skin compiled into the program is the skin of res/: each picture of res/skin.rc,
// decoded by the imaging service as a photo would be, has exactly the size and colours of
// its compiled table, the skin's loader finds every bitmap, and every BMP file of res/ is in
// the list.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/windows/resources.h"
#include "res/resources.h"
#include "skin/skin.h"
#include "tests/platform/imaging/pictures.h"
#include "tools/skin/skin_files.h"

namespace {

const std::string kResFolder = VELLUMET_SOURCE_DIR "/res/";

using SkinFiles = ImagingTest;

TEST_F(SkinFiles, TheCompiledSkinIsTheSkinOfTheFiles) {
  InstallResources();
  std::string error;
  const auto list = ReadResourceList(kResFolder + "skin.rc", &error);
  ASSERT_TRUE(list) << error;
  std::set<std::string> listed;
  for (const SkinResource& r : *list) {
    SCOPED_TRACE(r.path);
    listed.insert(std::filesystem::weakly_canonical(r.path).string());
    const ResourceBitmap* table = r.icon ? FindResourceIcon(r.id) : FindResourceBitmap(r.id);
    ASSERT_NE(table, nullptr);
    if (!r.icon) {
      CBitmap loaded;
      LoadSkinBitmap(loaded, r.id);
      EXPECT_NE(loaded.m_hObject, nullptr);
    }
    std::ifstream in(r.path, std::ios::binary);
    Ref<IStream> stream;
    Ref<IImage> image;
    Ref<IBitmapImage> bitmap;
    ImageInfo info;
    ASSERT_EQ(Stream(Bytes(std::istreambuf_iterator<char>(in), {}), stream.put()), S_OK);
    ASSERT_EQ(factory_->CreateImageFromStream(stream.get(), image.put()), S_OK);
    ASSERT_EQ(image->GetImageInfo(&info), S_OK);
    ASSERT_EQ(factory_->CreateBitmapFromImage(image.get(), info.Width, info.Height, PixelFormat24bppRGB,
                                              InterpolationHintDefault, bitmap.put()),
              S_OK);
    const Picture file = Pixels(bitmap.get());
    ASSERT_EQ(file.width, table->width);
    ASSERT_EQ(file.height, table->height);
    std::vector<BYTE> indices(file.pixels.size());
    ASSERT_TRUE(DecodeResourcePixels(*table, indices.data()));
    for (size_t i = 0; i < indices.size(); ++i)
      ASSERT_EQ(0, std::memcmp(&file.pixels[i], &table->palette[3 * indices[i]], 3)) << "pixel " << i;
  }
  for (const char* folder : {"bitmaps", "icons"})
    for (const auto& entry : std::filesystem::directory_iterator(kResFolder + folder))
      EXPECT_TRUE(listed.count(std::filesystem::weakly_canonical(entry.path()).string())) << entry.path() << " is not listed";
}

}  // namespace
