#include <cstring>

#include "platform/kernel/lasterror.h"
#include "tests/platform/imaging/pictures.h"

namespace {

HRESULT CreateFactory(IImagingFactory** factory, LPUNKNOWN outer = nullptr, REFIID iid = IID_IImagingFactory) {
  return CoCreateInstance(CLSID_ImagingFactory, outer, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(factory));
}

}  // namespace

TEST(Com, CreationNeedsInitialisationAndFailsTheWayTheCallerAsked) {
  Ref<IImagingFactory> factory;
  EXPECT_EQ(CreateFactory(factory.put()), CO_E_NOTINITIALIZED);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);  // nested: needs its own end
  CoUninitialize();

  EXPECT_EQ(CreateFactory(factory.put(), reinterpret_cast<LPUNKNOWN>(&factory)), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(CreateFactory(factory.put(), nullptr, IID_IImage), E_NOINTERFACE);
  EXPECT_EQ(factory.get(), nullptr);
  Ref<IUnknown> other;
  EXPECT_EQ(CoCreateInstance(IID_IImage, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, other.put_void()),
            REGDB_E_CLASSNOTREG);

  for (HRESULT forced : {REGDB_E_CLASSNOTREG, CLASS_E_NOAGGREGATION}) {
    SetCoCreateInstanceFailureForTests(forced);
    EXPECT_EQ(CreateFactory(factory.put()), forced);
    EXPECT_EQ(factory.get(), nullptr);
  }
  SetCoCreateInstanceFailureForTests(S_OK);
  EXPECT_EQ(CreateFactory(factory.put()), S_OK);
  ASSERT_TRUE(factory);
  factory.reset();
  CoUninitialize();
}

class ComObjects : public ImagingTest {};

TEST_F(ComObjects, ViewsOfOneBitmapShareOneCountAndInstalledCodecsComeInOneBlock) {
  Ref<IBitmapImage> bitmap;
  ASSERT_EQ(factory_->CreateNewBitmap(3, 2, PixelFormat16bppRGB565, bitmap.put()), S_OK);
  Ref<IImage> image;
  Ref<IImageSink> sink;
  Ref<IBasicBitmapOps> ops;
  Ref<IUnknown> identity;
  ASSERT_EQ(bitmap->QueryInterface(IID_IImage, image.put_void()), S_OK);
  ASSERT_EQ(image->QueryInterface(IID_IImageSink, sink.put_void()), S_OK);
  ASSERT_EQ(sink->QueryInterface(IID_IBasicBitmapOps, ops.put_void()), S_OK);
  ASSERT_EQ(ops->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(bitmap.get()));
  Ref<IImageDecoder> none;
  EXPECT_EQ(image->QueryInterface(IID_IImageDecoder, none.put_void()), E_NOINTERFACE);
  EXPECT_EQ(none.get(), nullptr);
  // The bitmap, its three other views and identity: five references on one count.
  EXPECT_EQ(bitmap->AddRef(), 6u);
  EXPECT_EQ(bitmap->Release(), 5u);

  for (bool encoders : {true, false}) {
    UINT count = 0;
    ImageCodecInfo* codecs = nullptr;
    ASSERT_EQ(encoders ? factory_->GetInstalledEncoders(&count, &codecs) : factory_->GetInstalledDecoders(&count, &codecs),
              S_OK);
    std::u16string mimes;
    for (UINT i = 0; i < count; ++i) mimes += std::u16string(codecs[i].MimeType) + u" ";
    EXPECT_EQ(mimes, encoders ? u"image/bmp " : u"image/jpeg image/png image/gif image/bmp image/webp image/heif ");
    EXPECT_TRUE(!encoders || (codecs[0].Clsid == CLSID_BmpEncoder && codecs[0].FormatID == ImageFormatBMP));
    CoTaskMemFree(codecs);
  }
}

TEST_F(ComObjects, StreamOwnsItsBlockOnlyWhenAsked) {
  HLOCAL block = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 4);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(LocalSize(block), 4u);
  std::memcpy(block, "abcd", 4);
  {
    Ref<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, stream.put()), S_OK);
    char got[8] = {};
    ULONG read = 0;
    EXPECT_EQ(stream->Read(got, 8, &read), S_FALSE);
    EXPECT_EQ(read, 4u);
    EXPECT_STREQ(got, "abcd");
    // A caller's block cannot grow under it.
    EXPECT_EQ(stream->Write("e", 1, nullptr), STG_E_MEDIUMFULL);
  }
  EXPECT_EQ(LocalFree(block), nullptr);  // still the caller's, and freed now
  EXPECT_EQ(LocalFree(block), block);    // a second free is refused
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  block = LocalAlloc(LMEM_MOVEABLE, 2);
  std::memcpy(block, "xy", 2);
  Ref<IStream> owned;
  ASSERT_EQ(CreateStreamOnHGlobal(block, TRUE, owned.put()), S_OK);
  ASSERT_EQ(owned->Seek(LARGE_INTEGER{0}, STREAM_SEEK_END, nullptr), S_OK);
  EXPECT_EQ(owned->Write("z!", 2, nullptr), S_OK);
  STATSTG stat;
  ASSERT_EQ(owned->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 4u);
  ULARGE_INTEGER at;
  EXPECT_EQ(owned->Seek(LARGE_INTEGER{-3}, STREAM_SEEK_CUR, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 1u);
  EXPECT_EQ(owned->Seek(LARGE_INTEGER{-2}, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  char got[4];
  EXPECT_EQ(owned->Read(got, 3, nullptr), S_OK);
  EXPECT_EQ(std::string(got, 3), "yz!");
  owned.reset();  // frees the (grown) block: the leak checker would see it otherwise
}

