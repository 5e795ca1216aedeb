#include "module_state.h"

#include "com_result.h"

HINSTANCE ModuleInstance = nullptr;
LONG ModuleObjectCount = 0;

namespace {
LONG ServerLockCount = 0;
}  // namespace

void ServerLocked() {
  InterlockedIncrement(&ServerLockCount);
  ModuleObjectAdded();
}

void ServerUnlocked() {
  // Takes one lock off only while there is one to take.
  LONG locks = ServerLockCount;
  while (locks > 0) {
    const LONG seen = InterlockedCompareExchange(&ServerLockCount, locks - 1, locks);
    if (seen == locks) {
      ModuleObjectRemoved();
      return;
    }
    locks = seen;
  }
}

HRESULT LastErrorResult() {
  return static_cast<HRESULT>(ResultFromWin32Error(static_cast<int32_t>(GetLastError())));
}
