#include "platform/kernel/handle.h"

#include <mutex>
#include <unordered_map>

namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<KernelObject*, std::unique_ptr<KernelObject>> live;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // outlives exit handlers that close handles
  return *table;
}

}  // namespace

HANDLE AddHandle(std::unique_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  KernelObject* raw = object.get();
  table.live.emplace(raw, std::move(object));
  return reinterpret_cast<HANDLE>(raw);
}

KernelObject* FindHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.live.find(reinterpret_cast<KernelObject*>(handle));
  return it == table.live.end() ? nullptr : it->second.get();
}

BOOL CloseHandle(HANDLE handle) {
  std::unique_ptr<KernelObject> object;
  {
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.live.find(reinterpret_cast<KernelObject*>(handle));
    if (it == table.live.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    object = std::move(it->second);
    table.live.erase(it);
  }
  // Closed and destroyed outside the lock: either may itself close or look up handles.
  return object->Close() ? TRUE : FALSE;
}
