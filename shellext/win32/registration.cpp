#include "registration.h"

#include "class_factory.h"
#include "com_result.h"
#include "module_state.h"
#include "registration_entries.h"
#include "shell_resources.h"
#include "wizard_launch.h"

namespace {

HRESULT ResultOf(LSTATUS status) {
  return static_cast<HRESULT>(ResultFromWin32Error(static_cast<int32_t>(status)));
}

// Creates or opens the key and sets one string value; the stored data holds
// the terminating null, as readers of string values expect.
HRESULT WriteValue(const RegistryValue& value) {
  UniqueRegistryKey key;
  const LSTATUS created = RegCreateKeyExW(HKEY_CLASSES_ROOT, value.key.c_str(), 0, nullptr, 0,
                                          KEY_WRITE, nullptr, key.put(), nullptr);
  if (created != ERROR_SUCCESS) return ResultOf(created);
  const DWORD bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
  return ResultOf(RegSetValueExW(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0,
                                 REG_SZ, reinterpret_cast<const BYTE*>(value.data.c_str()),
                                 bytes));
}

}  // namespace

std::wstring ClassIdText() {
  wchar_t text[40] = {};
  StringFromGUID2(CLSID_Corvelle, text, 40);
  return text;
}

HRESULT RegisterServer(HMODULE module) {
  return GuardedCall([&]() -> HRESULT {
    const std::wstring modulePath = ModuleFilePath(module);
    if (modulePath.empty()) return LastErrorResult();
    for (const RegistryValue& value : RegistrationValues(ClassIdText(), modulePath)) {
      const HRESULT result = WriteValue(value);
      if (FAILED(result)) return result;
    }
    return S_OK;
  });
}

HRESULT UnregisterServer() {
  return GuardedCall([&]() -> HRESULT {
    HRESULT result = S_OK;
    for (const std::wstring& key : UnregistrationKeys(ClassIdText())) {
      result = ResultOf(RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()));
      if (FAILED(result)) return result;
    }
    return result;
  });
}
