#include "context_menu_play.h"

#include <atomic>
#include <functional>
#include <thread>

#include "unique_resource.h"

namespace {

std::wstring DefaultValue(HKEY root, const std::wstring& key) {
  wchar_t value[1024] = {};
  DWORD size = sizeof value;
  if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return value;
}

std::wstring MenuText(HMENU menu, int position) {
  wchar_t text[256] = {};
  GetMenuStringW(menu, position, text, 256, MF_BYPOSITION);
  return text;
}

int FindItem(HMENU menu, const std::wstring& text) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (MenuText(menu, i) == text) return i;
  }
  return -1;
}

bool Highlighted(HMENU menu, int position) {
  return (GetMenuState(menu, position, MF_BYPOSITION) & MF_HILITE) != 0;
}

// A menu window of this process on the screen (Win32 class "#32768").
int VisibleMenuWindows() {
  struct Count {
    DWORD process;
    int found;
  } count{GetCurrentProcessId(), 0};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto* count = reinterpret_cast<Count*>(parameter);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (owner == count->process && IsWindowVisible(window) && wcscmp(name, L"#32768") == 0) {
          ++count->found;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count.found;
}

bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (!condition()) {
    if (GetTickCount64() > end) return false;
    Sleep(25);
  }
  return true;
}

// A key press as the menu's modal loop reads it from the owner's queue.
void PressKey(HWND owner, UINT key) {
  PostMessageW(owner, WM_KEYDOWN, key, 1);
  PostMessageW(owner, WM_KEYUP, key, 0xC0000001);
  Sleep(120);
}

// Moves the highlight down until it rests on `position`.
bool MoveDownTo(HWND owner, HMENU menu, int position) {
  for (int i = 0; i < 12 && !Highlighted(menu, position); ++i) PressKey(owner, VK_DOWN);
  return Highlighted(menu, position);
}

}  // namespace

RegisteredHandler CreateRegisteredHandler() {
  RegisteredHandler handler;
  const wchar_t kHandlers[] = L"*\\shellex\\ContextMenuHandlers";
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kHandlers, 0, KEY_READ, &raw) != ERROR_SUCCESS) {
    return handler;
  }
  UniqueRegistryKey handlers(raw);
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(handlers.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    // The key is named by the class or holds it as its default value.
    std::wstring key = std::wstring(kHandlers) + L"\\" + name;
    std::wstring classText = name[0] == L'{' ? name : DefaultValue(HKEY_CLASSES_ROOT, key);
    CLSID classId{};
    if (FAILED(CLSIDFromString(classText.c_str(), &classId))) continue;
    ComPtr<IShellExtInit> object;
    if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                object.put_void()))) {
      continue;
    }
    handler.classId = classId;
    handler.name = DefaultValue(HKEY_CLASSES_ROOT, key);
    handler.server =
        DefaultValue(HKEY_CLASSES_ROOT, L"CLSID\\" + classText + L"\\InprocServer32");
    handler.object = std::move(object);
    break;
  }
  return handler;
}

UINT ChooseFromMenu(HWND owner, HMENU menu, POINT where, const std::wstring& submenuText,
                    const std::wstring& commandText, const ScreenshotTaker& screenshots,
                    const std::wstring& screenshotName) {
  std::atomic<bool> chosen{false};
  std::thread user([&] {
    if (!WaitFor([] { return VisibleMenuWindows() > 0; }, 10000)) {
      Say(L"   the menu did not appear on the screen");
      return;
    }
    Sleep(300);
    const int item = FindItem(menu, submenuText);
    HMENU submenu = item >= 0 ? GetSubMenu(menu, item) : nullptr;
    const int command = submenu ? FindItem(submenu, commandText) : -1;
    if (command < 0 || !MoveDownTo(owner, menu, item)) {
      Say(L"   could not reach \"" + submenuText + L"\" in the menu");
      PressKey(owner, VK_ESCAPE);
      return;
    }
    PressKey(owner, VK_RIGHT);
    if (!WaitFor([] { return VisibleMenuWindows() > 1; }, 5000) ||
        !MoveDownTo(owner, submenu, command)) {
      Say(L"   could not reach \"" + commandText + L"\" in the submenu");
      PressKey(owner, VK_ESCAPE);
      PressKey(owner, VK_ESCAPE);
      return;
    }
    Sleep(400);  // let both menus paint
    screenshots.Take(screenshotName, L"the context menu with \"" + submenuText + L"\" open, \"" +
                                         commandText + L"\" highlighted");
    chosen = true;
    PressKey(owner, VK_RETURN);
  });
  SetForegroundWindow(owner);
  const UINT id = static_cast<UINT>(TrackPopupMenuEx(
      menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, where.x, where.y,
      owner, nullptr));
  user.join();
  return chosen ? id : 0;
}
