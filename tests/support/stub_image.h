// An image that does nothing and is never freed: tests override what they watch.
#pragma once

#include "platform/imaging/imaging.h"

struct StubImage : IImage {
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetPhysicalDimension(SIZE*) override { return E_NOTIMPL; }
  HRESULT GetImageInfo(ImageInfo*) override { return E_NOTIMPL; }
  HRESULT SetImageFlags(UINT) override { return E_NOTIMPL; }
  HRESULT Draw(HDC, const RECT*, const RECT*) override { return E_NOTIMPL; }
  HRESULT PushIntoSink(IImageSink*) override { return E_NOTIMPL; }
  HRESULT GetThumbnail(UINT, UINT, IImage**) override { return E_NOTIMPL; }
};
