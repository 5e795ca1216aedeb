#pragma once

#include <string>
#include <vector>

// Text form of the handler's class identifier, as the platform writes it in
// registry key names.
inline constexpr wchar_t kCorvelleClassIdText[] = L"{236F17A4-A013-41A6-AF17-02BF3991F75C}";

// One string value under HKEY_CLASSES_ROOT; an empty name is the key's
// default value.
struct RegistryValue {
  std::wstring key;
  std::wstring name;
  std::wstring data;
};

// "CLSID\{class}": the class key, removed with everything under it.
std::wstring ClassKeyName(const std::wstring& classIdText);
// "*\shellex\ContextMenuHandlers\{class}": makes the shell load the handler
// for files of every type.
std::wstring HandlerKeyName(const std::wstring& classIdText);

// The four values registration writes, in the order it writes them.
std::vector<RegistryValue> RegistrationValues(const std::wstring& classIdText,
                                              const std::wstring& moduleFilePath);

// The keys unregistration removes, in order; it stops at the first that
// cannot be removed.
std::vector<std::wstring> UnregistrationKeys(const std::wstring& classIdText);
