// Memory blocks reached through handles. The live blocks and their sizes are kept in a
// table, so a stale or made-up handle is refused instead of being freed.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/kernel/local_memory.h"
#include "platform/kernel/lasterror.h"

namespace {

// Larger requests are refused outright: nothing on the device needs a block this big.
constexpr SIZE_T kMaxBlockBytes = SIZE_T{1} << 30;

std::mutex& BlocksLock() {
  static std::mutex lock;
  return lock;
}
std::unordered_map<void*, SIZE_T>& Blocks() {
  static std::unordered_map<void*, SIZE_T> blocks;
  return blocks;
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  if (bytes > kMaxBlockBytes) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* block = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(BlocksLock());
  Blocks()[block] = bytes;
  return block;
}

HLOCAL LocalFree(HLOCAL memory) {
  if (!memory) return nullptr;
  {
    std::lock_guard<std::mutex> guard(BlocksLock());
    if (Blocks().erase(memory) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return memory;
    }
  }
  std::free(memory);
  return nullptr;
}

SIZE_T LocalSize(HLOCAL memory) {
  std::lock_guard<std::mutex> guard(BlocksLock());
  auto found = Blocks().find(memory);
  if (found == Blocks().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return found->second;
}

HLOCAL LocalReAlloc(HLOCAL memory, SIZE_T bytes, UINT flags) {
  std::lock_guard<std::mutex> guard(BlocksLock());
  auto found = Blocks().find(memory);
  if (found == Blocks().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (bytes > kMaxBlockBytes) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  SIZE_T old = found->second;
  void* block = std::realloc(memory, bytes ? bytes : 1);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((flags & LMEM_ZEROINIT) && bytes > old) std::memset(static_cast<BYTE*>(block) + old, 0, bytes - old);
  Blocks().erase(found);
  Blocks()[block] = bytes;
  return block;
}

void MapLargeBlocksOnTheirOwn() {
  // A fixed threshold also turns off the C library's raising of it.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

void ReturnFreeMemory() { malloc_trim(0); }
