// The device's imaging service: decoded images behind COM interfaces.
// The service itself (factory, decoders, bitmap operations) is added by its own layer.
#pragma once

#include "platform/com.h"
#include "platform/gdi.h"

// A decoded image. Slots in the service's order; the ones the program does not use are
// left to the service's layer to add after these.
struct IImage : IUnknown {
  // The size of the image in pixels (the service's unit for these images).
  virtual HRESULT GetPhysicalDimension(SIZE* size) = 0;
  // Draws the srcRect part of the image (the whole image when null) stretched into dstRect
  // of the context.
  virtual HRESULT Draw(HDC dc, const RECT* dstRect, const RECT* srcRect) = 0;
};
