// Kernel object handles. Every object a HANDLE names (event, thread, file, search, driver)
// derives from KernelObject; the table below knows which handles are live, so a stale or
// made-up handle is refused with ERROR_INVALID_HANDLE instead of being followed.
#pragma once

#include <memory>

#include "platform/kernel/lasterror.h"
#include "platform/kernel/types.h"

struct KernelObject {
  virtual ~KernelObject() = default;
  // Called once by CloseHandle before the object goes. False (with the last error set) makes
  // CloseHandle fail; the handle is closed all the same.
  virtual bool Close() { return true; }
};

// Takes ownership of the object and returns its handle.
HANDLE AddHandle(std::unique_ptr<KernelObject> object);

// The live object behind a handle if it is of type T, else nullptr (and ERROR_INVALID_HANDLE).
KernelObject* FindHandle(HANDLE handle);
template <typename T>
T* HandleAs(HANDLE handle) {
  T* object = dynamic_cast<T*>(FindHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Closes any handle; FALSE with ERROR_INVALID_HANDLE when it is not live, or with the
// object's own error when its closing failed (a file whose new content could not be kept).
BOOL CloseHandle(HANDLE handle);
