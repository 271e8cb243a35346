// The stream over a memory block (CreateStreamOnHGlobal).
#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/imaging/com.h"
#include "platform/imaging/imaging_internal.h"
#include "platform/kernel/lasterror.h"

namespace {

class MemoryStream final : public ComObject<IStream>, public StreamBytes {
 public:
  MemoryStream(HGLOBAL block, SIZE_T size, bool owned) : block_(block), size_(size), owned_(owned) {}

  HRESULT Read(void* buffer, ULONG bytes, ULONG* read) override {
    if (!buffer && bytes) return E_POINTER;
    std::lock_guard<std::mutex> guard(lock_);
    SIZE_T left = position_ < size_ ? size_ - position_ : 0;
    SIZE_T count = std::min<SIZE_T>(left, bytes);
    if (count) std::memcpy(buffer, static_cast<const BYTE*>(block_) + position_, count);
    position_ += count;
    if (read) *read = static_cast<ULONG>(count);
    return count == bytes ? S_OK : S_FALSE;
  }

  HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) override {
    if (!buffer && bytes) return E_POINTER;
    std::lock_guard<std::mutex> guard(lock_);
    if (written) *written = 0;
    if (position_ + bytes > size_) {
      HRESULT hr = Resize(position_ + bytes);
      if (FAILED(hr)) return hr;
    }
    if (bytes) std::memcpy(static_cast<BYTE*>(block_) + position_, buffer, bytes);
    position_ += bytes;
    if (written) *written = bytes;
    return S_OK;
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    std::lock_guard<std::mutex> guard(lock_);
    LONGLONG base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
      case STREAM_SEEK_END: base = static_cast<LONGLONG>(size_); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    LONGLONG target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<SIZE_T>(target);
    if (newPosition) newPosition->QuadPart = position_;
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER size) override {
    std::lock_guard<std::mutex> guard(lock_);
    return Resize(static_cast<SIZE_T>(size.QuadPart));
  }

  HRESULT CopyTo(IStream* target, ULARGE_INTEGER bytes, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
    if (!target) return E_POINTER;
    std::lock_guard<std::mutex> guard(lock_);
    SIZE_T left = position_ < size_ ? size_ - position_ : 0;
    ULONG count = static_cast<ULONG>(std::min<ULONGLONG>({left, bytes.QuadPart, 0xFFFFFFFFull}));
    ULONG done = 0;
    HRESULT hr = target->Write(static_cast<const BYTE*>(block_) + position_, count, &done);
    position_ += count;
    if (read) read->QuadPart = count;
    if (written) written->QuadPart = done;
    return FAILED(hr) ? hr : S_OK;
  }

  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (!stat) return E_POINTER;
    std::lock_guard<std::mutex> guard(lock_);
    stat->cbSize.QuadPart = size_;
    stat->type = STGTY_STREAM;
    return S_OK;
  }

  HRESULT Clone(IStream** stream) override {
    if (stream) *stream = nullptr;
    return E_NOTIMPL;
  }

  const BYTE* Data(SIZE_T* size) override {
    *size = size_;
    return static_cast<const BYTE*>(block_);
  }

 private:
  ~MemoryStream() override {
    if (owned_) LocalFree(block_);
  }

  // Only a block the stream owns may move; a caller's block keeps its address.
  HRESULT Resize(SIZE_T size) {
    if (size > LocalSize(block_)) {
      if (!owned_) return STG_E_MEDIUMFULL;
      HLOCAL grown = LocalReAlloc(block_, size, LMEM_ZEROINIT);
      if (!grown) return E_OUTOFMEMORY;
      block_ = grown;
    }
    size_ = size;
    return S_OK;
  }

  std::mutex lock_;
  HGLOBAL block_;
  SIZE_T size_;
  SIZE_T position_ = 0;
  bool owned_;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  bool owned = deleteOnRelease != FALSE;
  SIZE_T size = 0;
  if (!memory) {
    memory = LocalAlloc(LMEM_MOVEABLE, 0);
    if (!memory) return E_OUTOFMEMORY;
    owned = true;
  } else {
    SetLastError(ERROR_SUCCESS);
    size = LocalSize(memory);
    if (size == 0 && GetLastError() == ERROR_INVALID_HANDLE) return E_INVALIDARG;
  }
  *stream = new MemoryStream(memory, size, owned);
  return S_OK;
}
