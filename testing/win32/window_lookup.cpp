#include "window_lookup.h"

namespace {

struct ControlSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM parameter) {
  auto* search = reinterpret_cast<ControlSearch*>(parameter);
  if (GetDlgCtrlID(child) != search->id) return TRUE;
  search->found = child;
  return FALSE;
}

}  // namespace

HWND FindControl(HWND window, int id) {
  ControlSearch search{id, nullptr};
  EnumChildWindows(window, MatchControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring WindowText(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::filesystem::path ProgramFolder() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).parent_path();
}
