// The skin compiled into the program is the skin of res/: each picture of res/skin.rc,
// decoded by the imaging service as a photo would be, has exactly the size and colours of
// its compiled table, and every BMP file of res/ is in the list.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/imaging/imaging.h"
#include "platform/windows/resources.h"
#include "res/resources.h"
#include "tools/skin/skin_files.h"

namespace {

const std::string kResFolder = VELLUMET_SOURCE_DIR "/res/";

// The file's pixels as red, green, blue triples, rows top to bottom, through the imaging
// service; empty when it cannot be decoded.
std::vector<BYTE> DecodeFile(IImagingFactory* factory, const std::string& path, int* width, int* height) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  HLOCAL memory = LocalAlloc(LMEM_MOVEABLE, file.size());
  std::memcpy(memory, file.data(), file.size());
  IStream* stream = nullptr;
  IImage* image = nullptr;
  IBitmapImage* bitmap = nullptr;
  std::vector<BYTE> rgb;
  ImageInfo info;
  BitmapData data;
  if (SUCCEEDED(CreateStreamOnHGlobal(memory, TRUE, &stream)) &&
      SUCCEEDED(factory->CreateImageFromStream(stream, &image)) && SUCCEEDED(image->GetImageInfo(&info)) &&
      SUCCEEDED(factory->CreateBitmapFromImage(image, info.Width, info.Height, PixelFormat24bppRGB,
                                               InterpolationHintDefault, &bitmap)) &&
      SUCCEEDED(bitmap->LockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data))) {
    *width = int(info.Width);
    *height = int(info.Height);
    for (UINT y = 0; y < info.Height; ++y) {
      const BYTE* row = static_cast<const BYTE*>(data.Scan0) + std::ptrdiff_t(y) * data.Stride;
      for (UINT x = 0; x < info.Width; ++x) rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    bitmap->UnlockBits(&data);
  }
  if (bitmap) bitmap->Release();
  if (image) image->Release();
  if (stream) stream->Release();
  else LocalFree(memory);
  return rgb;
}

}  // namespace

TEST(SkinFiles, TheCompiledSkinIsTheSkinOfTheFiles) {
  InstallResources();
  std::string error;
  const auto list = ReadResourceList(kResFolder + "skin.rc", &error);
  ASSERT_TRUE(list) << error;
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  IImagingFactory* factory = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  std::set<std::string> listed;
  for (const SkinResource& r : *list) {
    SCOPED_TRACE(r.path);
    listed.insert(std::filesystem::weakly_canonical(r.path).string());
    const ResourceBitmap* table = r.icon ? FindResourceIcon(r.id) : FindResourceBitmap(r.id);
    ASSERT_NE(table, nullptr);
    int width = 0, height = 0;
    const std::vector<BYTE> file = DecodeFile(factory, r.path, &width, &height);
    ASSERT_FALSE(file.empty());
    ASSERT_EQ(width, table->width);
    ASSERT_EQ(height, table->height);
    std::vector<BYTE> indices(size_t(width) * height);
    ASSERT_TRUE(DecodeResourcePixels(*table, indices.data()));
    for (size_t i = 0; i < indices.size(); ++i)
      ASSERT_EQ(0, std::memcmp(&file[3 * i], &table->palette[3 * indices[i]], 3)) << "pixel " << i;
  }
  factory->Release();
  CoUninitialize();

  for (const char* folder : {"bitmaps", "icons"})
    for (const auto& entry : std::filesystem::directory_iterator(kResFolder + folder))
      EXPECT_TRUE(listed.count(std::filesystem::weakly_canonical(entry.path()).string())) << entry.path() << " is not listed";
}
