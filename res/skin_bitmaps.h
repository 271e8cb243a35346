// The tables of res/skin_bitmaps.cpp, made by tools/make_skin.cpp.
#pragma once

#include "platform/windows/resources.h"

extern const ResourceBitmap kSkinBitmaps[];
extern const size_t kSkinBitmapCount;
extern const ResourceBitmap kIcons[];
extern const size_t kIconCount;
