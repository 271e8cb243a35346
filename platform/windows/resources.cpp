#include "platform/windows/resources.h"

#include <mutex>
#include <vector>

namespace {

std::mutex g_lock;
ResourceTables g_tables{};

template <typename T>
const T* Find(const T* items, size_t count, int id) {
  for (size_t i = 0; i < count; ++i)
    if (items[i].id == id) return &items[i];
  return nullptr;
}

HBITMAP Load(const ResourceBitmap* bitmap) {
  if (!bitmap) return nullptr;
  std::vector<BYTE> pixels(static_cast<size_t>(bitmap->width) * bitmap->height);
  if (!DecodeResourcePixels(*bitmap, pixels.data())) return nullptr;
  return CreateBitmapFromIndexed(bitmap->width, bitmap->height, pixels.data(), bitmap->palette);
}

}  // namespace

void RegisterResources(const ResourceTables& tables) {
  std::lock_guard lock(g_lock);
  g_tables = tables;
}

const ResourceBitmap* FindResourceBitmap(int id) {
  std::lock_guard lock(g_lock);
  return Find(g_tables.bitmaps, g_tables.bitmapCount, id);
}

const ResourceBitmap* FindResourceIcon(int id) {
  std::lock_guard lock(g_lock);
  return Find(g_tables.icons, g_tables.iconCount, id);
}

const DialogTemplate* FindDialogTemplate(int id) {
  std::lock_guard lock(g_lock);
  return Find(g_tables.dialogs, g_tables.dialogCount, id);
}

HBITMAP LoadBitmapResource(int id) { return Load(FindResourceBitmap(id)); }
HBITMAP LoadIconResource(int id) { return Load(FindResourceIcon(id)); }

bool DecodeResourcePixels(const ResourceBitmap& bitmap, BYTE* out) {
  const size_t total = static_cast<size_t>(bitmap.width) * bitmap.height;
  size_t written = 0, i = 0;
  while (i < bitmap.size) {
    const BYTE n = bitmap.data[i++];
    if (n < 128) {
      const size_t count = n + 1u;
      if (i + count > bitmap.size || written + count > total) return false;
      for (size_t k = 0; k < count; ++k) out[written++] = bitmap.data[i++];
    } else {
      const size_t count = n - 126u;
      if (i >= bitmap.size || written + count > total) return false;
      const BYTE value = bitmap.data[i++];
      for (size_t k = 0; k < count; ++k) out[written++] = value;
    }
  }
  return written == total;
}
