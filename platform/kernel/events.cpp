#include "platform/kernel/kernel.h"
#include "platform/kernel/named_objects.h"
#include "platform/kernel/waitable.h"

namespace {

// Longest object name, in UTF-16 units.
constexpr size_t kMaxNameLength = 260;

class EventObject : public Waitable {
 public:
  EventObject(bool manualReset, bool signalled) : m_manualReset(manualReset), m_signalled(signalled) {}

  bool IsSignalled() const override { return m_signalled; }
  void Acquire() override {
    if (!m_manualReset) m_signalled = false;
  }

  void Set() {
    m_signalled = true;
    WakeWaiters();
  }
  void Reset() { m_signalled = false; }
  // A manual-reset event releases every thread waiting now, an auto-reset one at most one;
  // either way the event is left non-signalled.
  void Pulse() {
    ReleaseWaiters(m_manualReset);
    m_signalled = false;
  }

 private:
  bool m_manualReset;
  bool m_signalled;
};

struct EventHandle : WaitableHandle {
  EventHandle(std::shared_ptr<Waitable> object, WString name)
      : WaitableHandle(std::move(object)), name(std::move(name)) {}
  ~EventHandle() override {
    if (!name.empty()) CloseObjectName(name);
  }
  WString name;
};

}  // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  WString eventName = name ? WString(name) : WString();
  if (eventName.size() > kMaxNameLength) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  auto make = [&] { return std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE); };
  bool existed = false;
  std::shared_ptr<Waitable> object = eventName.empty() ? make() : OpenObjectName(eventName, make, &existed);
  HANDLE handle = AddHandle(std::make_unique<EventHandle>(std::move(object), std::move(eventName)));
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL EventModify(HANDLE event, DWORD function) {
  if (function != EVENT_SET && function != EVENT_RESET && function != EVENT_PULSE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard guard(KernelStateLock());
  auto object = std::dynamic_pointer_cast<EventObject>(FindWaitableLocked(event));
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (function == EVENT_SET)
    object->Set();
  else if (function == EVENT_RESET)
    object->Reset();
  else
    object->Pulse();
  return TRUE;
}

BOOL SetEvent(HANDLE event) { return EventModify(event, EVENT_SET); }
BOOL ResetEvent(HANDLE event) { return EventModify(event, EVENT_RESET); }
BOOL PulseEvent(HANDLE event) { return EventModify(event, EVENT_PULSE); }
