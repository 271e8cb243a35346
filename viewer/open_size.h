// The size the photo view opens a photo at, from the width and height its record gives.
#pragma once

#include "platform/kernel/types.h"

// What the view shows instead of a photo.
constexpr int kPhotoShown = 0;
constexpr int kPhotoDamaged = 1;   // could not be opened or decoded
constexpr int kPhotoTooLarge = 2;

// Photos above 1,920,000 pixels are divided by the smallest whole factor that brings their
// longer side to 1600 or less, so that the decoder works at a size the device can hold.
// Returns kPhotoShown with the size to open at, or the error to show: kPhotoDamaged for a
// missing side (or a negative one), kPhotoTooLarge for 10,000,000 pixels or more.
int ChooseOpenSize(LONG width, LONG height, DWORD* openWidth, DWORD* openHeight);
