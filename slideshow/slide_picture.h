// One picture of the slideshow: loaded into the photo decoder at the size the photo's record
// gives, and fitted to the whole 800 x 480 screen.
#pragma once

#include "decode/image_decoder.h"
#include "platform/kernel/types.h"

// Where a picture of the decoder's size goes on the screen, and the size it is shown at.
struct SlideFit {
  RECT rect{};  // centred on the screen
  int width = 0;
  int height = 0;
};

// The picture of w x h pixels scaled to fill the screen in one direction, keeping its
// proportions, and centred. A picture without pixels gets an empty fit.
SlideFit FitToScreen(UINT w, UINT h);

// Drops the decoder's picture, then opens and decodes the photo at path when its record
// gave it a size (the record's size as it is, without reduction). True when the decoder
// holds a picture afterwards.
bool LoadSlidePicture(CImageDecoder& decoder, LPCWSTR path, int width, int height);
