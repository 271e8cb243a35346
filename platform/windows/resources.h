// The program's resources: bitmaps, icons and dialog templates, looked up by number.
// The program registers its tables once at start (res/); the window layer and the skin
// read them from here.
#pragma once

#include <cstddef>

#include "platform/gdi/gdi.h"

// An 8-bit bitmap: a palette of 256 RGB triples and the pixels, rows top to bottom,
// run-length coded (a byte n < 128 is followed by n + 1 literal bytes; a byte n >= 128 by
// one byte repeated n - 126 times).
struct ResourceBitmap {
  int id;
  int width;
  int height;
  const BYTE* palette;
  const BYTE* data;
  size_t size;
};

enum class ControlKind { Button, Static };

struct DialogControl {
  int id;
  ControlKind kind;
  const char16_t* caption;
  RECT rect;  // in pixels, relative to the dialog
  bool visible;
  bool enabled;
};

struct DialogTemplate {
  int id;
  const char16_t* caption;
  RECT rect;
  const DialogControl* controls;
  size_t controlCount;
};

struct ResourceTables {
  const ResourceBitmap* bitmaps;
  size_t bitmapCount;
  const ResourceBitmap* icons;  // icons are bitmaps with the transparent colour
  size_t iconCount;
  const DialogTemplate* dialogs;
  size_t dialogCount;
};

void RegisterResources(const ResourceTables& tables);
const ResourceBitmap* FindResourceBitmap(int id);
const ResourceBitmap* FindResourceIcon(int id);
const DialogTemplate* FindDialogTemplate(int id);
// Decodes a bitmap into a new screen-format bitmap; nullptr when it is unknown or corrupt.
HBITMAP LoadBitmapResource(int id);
HBITMAP LoadIconResource(int id);
// Run-length decoding of ResourceBitmap data into width * height bytes; false when the
// data does not give exactly that many.
bool DecodeResourcePixels(const ResourceBitmap& bitmap, BYTE* out);
