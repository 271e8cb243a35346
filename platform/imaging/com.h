// The small part of COM the device's services use: results, interface identifiers,
// reference counting, object creation and in-memory streams over the kernel's memory blocks.
#pragma once

#include <cstddef>

#include "platform/kernel/local_memory.h"
#include "platform/kernel/types.h"

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_PENDING = static_cast<HRESULT>(0x8000000A);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
// The result that carries a Win32 error code (GetLastError) in the Win32 facility.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
  return code == 0 ? S_OK : static_cast<HRESULT>((code & 0xFFFF) | 0x80070000u);
}

// ---- Identifiers ---------------------------------------------------------------------

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
  friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
constexpr GUID GUID_NULL{};
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

// ---- Objects -------------------------------------------------------------------------

struct IUnknown {
  // Gives another view of the same object (one more reference) or E_NOINTERFACE.
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;
extern const IID IID_IUnknown;

// COM must be initialised (on any thread of the process) before objects can be created.
// The first call on a thread gives S_OK, later ones S_FALSE; each needs its CoUninitialize.
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
// Creates an object of a registered class. Fails with CO_E_NOTINITIALIZED before
// CoInitializeEx, CLASS_E_NOAGGREGATION when an outer object is given, REGDB_E_CLASSNOTREG
// for an unknown class and E_NOINTERFACE when the class lacks the interface.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);

// Tests: every later CoCreateInstance fails with this result (S_OK: behave normally again).
void SetCoCreateInstanceFailureForTests(HRESULT result);

// Memory handed across interfaces (for example codec lists); CoTaskMemFree(nullptr) is allowed.
LPVOID CoTaskMemAlloc(SIZE_T bytes);
void CoTaskMemFree(LPVOID memory);

// ---- Streams -------------------------------------------------------------------------

struct LARGE_INTEGER {
  LONGLONG QuadPart = 0;
};
struct ULARGE_INTEGER {
  ULONGLONG QuadPart = 0;
};
struct STATSTG {
  ULARGE_INTEGER cbSize;
  DWORD type = 0;
};
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

struct ISequentialStream : IUnknown {
  // S_OK, or S_FALSE when fewer bytes than asked were left.
  virtual HRESULT Read(void* buffer, ULONG bytes, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) = 0;
};
extern const IID IID_ISequentialStream;

struct IStream : ISequentialStream {
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
  virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER bytes, ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER bytes, DWORD type) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER bytes, DWORD type) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT Clone(IStream** stream) = 0;
};
using LPSTREAM = IStream*;
extern const IID IID_IStream;

// A stream over a memory block from LocalAlloc (a new empty block when memory is nullptr);
// its size is the block's size. With deleteOnRelease the stream owns the block and frees
// it with its last Release; only then may writes past the end grow the block.
HRESULT CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream);
