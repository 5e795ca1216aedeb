#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "com_ptr.h"
#include "narration.h"

// The context-menu handler Explorer would load for every file type: the
// first class listed under HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers,
// created through COM from its registration. Empty when there is none.
struct RegisteredHandler {
  CLSID classId{};
  std::wstring name;    // the key's default value
  std::wstring server;  // InprocServer32
  ComPtr<IShellExtInit> object;
};
RegisteredHandler CreateRegisteredHandler();

// Shows `menu` at `where` on behalf of `owner` and plays the user with the
// keyboard: down to the item `submenuText`, into its submenu, down to
// `commandText`, a screenshot, Enter. Returns the chosen command identifier
// (0 when the menu closed without a choice). Runs the menu's modal loop on
// the calling thread.
UINT ChooseFromMenu(HWND owner, HMENU menu, POINT where, const std::wstring& submenuText,
                    const std::wstring& commandText, const ScreenshotTaker& screenshots,
                    const std::wstring& screenshotName);
