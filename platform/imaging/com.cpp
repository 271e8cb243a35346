// COM start and end, object creation for the platform's classes, task memory.
#include "platform/imaging/com.h"

#include <atomic>
#include <cstdlib>

#include "platform/imaging/imaging_internal.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// Initialisations still open in the whole process, and on this thread.
std::atomic<int> g_processInits{0};
thread_local int t_threadInits = 0;
std::atomic<HRESULT> g_createFailure{S_OK};

struct BuiltInClass {
  const CLSID* clsid;
  HRESULT (*create)(REFIID iid, void** object);
};
const BuiltInClass kClasses[] = {
    {&CLSID_ImagingFactory, &CreateImagingFactoryObject},
};

}  // namespace

HRESULT CoInitializeEx(LPVOID /*reserved*/, DWORD /*flags*/) {
  ++g_processInits;
  return t_threadInits++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (t_threadInits == 0) return;  // not initialised on this thread: nothing to end
  --t_threadInits;
  --g_processInits;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD /*context*/, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (HRESULT forced = g_createFailure.load(); forced != S_OK) return forced;
  if (g_processInits.load() <= 0) return CO_E_NOTINITIALIZED;
  if (outer) return CLASS_E_NOAGGREGATION;
  for (const BuiltInClass& entry : kClasses) {
    if (*entry.clsid == clsid) return entry.create(iid, object);
  }
  return REGDB_E_CLASSNOTREG;
}

void SetCoCreateInstanceFailureForTests(HRESULT result) { g_createFailure = result; }

LPVOID CoTaskMemAlloc(SIZE_T bytes) { return std::malloc(bytes ? bytes : 1); }

void CoTaskMemFree(LPVOID memory) { std::free(memory); }
