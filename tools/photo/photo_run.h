// A photo run the way the screens will do it, shared by vellumet-photo and the benchmark:
// the photo's record, then the photo decoder's Close, Open with the record's size,
// Decode(0), an optional turn, and a drawing fitted into the 800 x 480 screen. Also the
// 50 x 50 thumbnail the way the thumbnail maker will make it.
#pragma once

#include <string>
#include <vector>

#include "decode/image_decoder.h"
#include "platform/media/photo_info.h"

struct PhotoRun {
  _tag_PHOTO_INFO info{};
  int infoResult = -1;  // GetPhotoInfo's result
  UINT opened = 0;      // Open's result
  bool decoded = false;
  bool turned = false;  // the turn asked for succeeded (true when none was asked)
  RECT shown{};         // where the photo was drawn on the screen
  bool drawn = false;
};

// The fitted rectangle of a w x h photo centred in a bw x bh box.
RECT FitIntoBox(UINT w, UINT h, int bw, int bh);

// Runs the photo at a device path with decoder, drawing onto a cleared visible frame.
// angle < 0: no turn.
PhotoRun RunPhoto(CImageDecoder& decoder, LPCWSTR path, float angle);

struct Thumbnail {
  IImage* image = nullptr;  // one reference, nullptr when none could be made
  bool inner = false;       // the photo's own thumbnail (else made from the whole photo)
  UINT width = 0, height = 0;
};
// The 50 x 50 thumbnail of the photo at a device path through factory.
Thumbnail MakeThumbnail(IImagingFactory* factory, LPCWSTR path);
// The image written by the BMP encoder into bytes; false on any failure.
bool EncodeBmp(IImagingFactory* factory, IImage* image, std::vector<BYTE>& bytes);

// The host path as a device path under the root when it lies inside it, else empty.
WString DevicePathUnderRoot(const std::string& root, const std::string& hostOrDevicePath);
