#include "registration_entries.h"

std::wstring ClassKeyName(const std::wstring& classIdText) { return L"CLSID\\" + classIdText; }

std::wstring HandlerKeyName(const std::wstring& classIdText) {
  return L"*\\shellex\\ContextMenuHandlers\\" + classIdText;
}

std::vector<RegistryValue> RegistrationValues(const std::wstring& classIdText,
                                              const std::wstring& moduleFilePath) {
  const std::wstring classKey = ClassKeyName(classIdText);
  const std::wstring serverKey = classKey + L"\\InprocServer32";
  return {
      {classKey, L"", L"Corvelle.Corvelle Class"},
      {serverKey, L"", moduleFilePath},
      {serverKey, L"ThreadingModel", L"Apartment"},
      {HandlerKeyName(classIdText), L"", L"Corvelle.Corvelle"},
  };
}

std::vector<std::wstring> UnregistrationKeys(const std::wstring& classIdText) {
  return {ClassKeyName(classIdText), HandlerKeyName(classIdText)};
}
