// Reference counting and QueryInterface for the platform's COM objects: a class derives
// from ComObject<its interfaces...> and implements only the interfaces' own methods.
#pragma once

#include <atomic>

#include "platform/imaging/com.h"

// The identifier that QueryInterface answers for an interface; each interface's header
// (or the code that implements it) gives its specialisation.
template <typename Interface>
struct InterfaceId;

template <>
struct InterfaceId<IStream> {
  static bool Matches(REFIID iid) { return iid == IID_IStream || iid == IID_ISequentialStream; }
};

template <typename First, typename... Rest>
class ComObject : public First, public Rest... {
 public:
  // IID_IUnknown gives the first interface, so that every view leads to one identity.
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown) *object = static_cast<First*>(this);
    else ((InterfaceId<First>::Matches(iid) && (*object = static_cast<First*>(this))) || ... ||
          (InterfaceId<Rest>::Matches(iid) && (*object = static_cast<Rest*>(this))));
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  ~ComObject() override = default;

 private:
  std::atomic<ULONG> refs_{1};  // the creator's reference
};
