// The skin's tables, compiled by the build from res/skin.rc and its BMP files
// (vellumet-skin-tables, see res/CMakeLists.txt).
#pragma once

#include "platform/windows/resources.h"

extern const ResourceBitmap kSkinBitmaps[];
extern const size_t kSkinBitmapCount;
extern const ResourceBitmap kIcons[];
extern const size_t kIconCount;
