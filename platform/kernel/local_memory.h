// Memory blocks of the device's kernel, reached through handles.
#pragma once

#include <cstddef>

#include "platform/kernel/types.h"

using SIZE_T = std::size_t;

// A block is reached directly through its handle (there is no moving memory on the device).
using HLOCAL = void*;
using HGLOBAL = HLOCAL;
constexpr UINT LMEM_FIXED = 0x0;
constexpr UINT LMEM_MOVEABLE = 0x2;
constexpr UINT LMEM_ZEROINIT = 0x40;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
// nullptr with ERROR_NOT_ENOUGH_MEMORY when the block cannot be had.
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// nullptr on success; the handle itself when it is not a live block (ERROR_INVALID_HANDLE).
HLOCAL LocalFree(HLOCAL memory);
SIZE_T LocalSize(HLOCAL memory);
// The new handle, or nullptr with the old block untouched.
HLOCAL LocalReAlloc(HLOCAL memory, SIZE_T bytes, UINT flags);

// Makes every large block (a picture, a decoder's buffers) a mapping of its own that goes back
// to the system when it is freed. Without it the C library raises its threshold for such
// mappings after each large free and keeps later pictures in its heaps, whose freed room it
// seldom returns: a slideshow's memory then climbs for hours. Called once, at start.
void MapLargeBlocksOnTheirOwn();

// Gives the free pages scattered through the C library's heaps back to the system. Blocks freed
// by several threads leave holes that the heaps keep for later; over a slideshow of thousands of
// pictures they add up to megabytes that nothing uses.
void ReturnFreeMemory();
