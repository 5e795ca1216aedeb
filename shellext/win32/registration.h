#pragma once

#include <windows.h>

#include <string>

// Writes the handler's four registry values under HKEY_CLASSES_ROOT, naming
// `module` as the in-process server. Stops at the first failure and returns
// it; what was written before stays.
HRESULT RegisterServer(HMODULE module);

// Removes the class key and then the handler key. When the class key cannot
// be removed (for instance it is not there: 0x80070002), the handler key is
// left alone.
HRESULT UnregisterServer();

// The class identifier in the text form used in key names.
std::wstring ClassIdText();
