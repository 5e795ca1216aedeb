#include "module_state.h"

#include "com_result.h"

HINSTANCE ModuleInstance = nullptr;
LONG ModuleObjectCount = 0;

HRESULT LastErrorResult() {
  return static_cast<HRESULT>(ResultFromWin32Error(static_cast<int32_t>(GetLastError())));
}
