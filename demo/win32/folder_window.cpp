#include "folder_window.h"

#include <commctrl.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kClassName[] = L"MorvaneDemoFolderWindow";

std::wstring SizeText(uintmax_t bytes) {
  return std::to_wstring((bytes + 1023) / 1024) + L" KB";
}

}  // namespace

FolderWindow::FolderWindow(const fs::path& folder, const std::wstring& selected)
    : folder_(folder), selected_(selected) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);
  window_ = CreateWindowExW(0, kClassName, folder.wstring().c_str(),
                            WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 720, 360, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  RECT client{};
  GetClientRect(window_, &client);
  // The address bar: the window's title may have no frame to show it in
  // (a bare X server has no window manager).
  constexpr int kAddressHeight = 24;
  CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, folder.wstring().c_str(),
                  WS_CHILD | WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL, 0, 0, client.right,
                  kAddressHeight, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
  list_ = CreateWindowExW(0, WC_LISTVIEWW, nullptr,
                          WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                          0, kAddressHeight, client.right, client.bottom - kAddressHeight,
                          window_, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = 480;
  column.pszText = const_cast<wchar_t*>(L"Nombre");
  ListView_InsertColumn(list_, 0, &column);
  column.cx = 120;
  column.pszText = const_cast<wchar_t*>(L"Tamaño");
  ListView_InsertColumn(list_, 1, &column);
  Refresh();
  SetForegroundWindow(window_);
  SetFocus(list_);  // the selected file shows as Explorer shows it, highlighted
  PumpMessages(200);
}

FolderWindow::~FolderWindow() {
  if (window_) DestroyWindow(window_);
}

std::vector<std::wstring> FolderWindow::FileNames() const {
  std::vector<std::wstring> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder_, error)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void FolderWindow::Refresh() {
  ListView_DeleteAllItems(list_);
  int index = 0;
  for (const auto& name : FileNames()) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(name.c_str());
    ListView_InsertItem(list_, &item);
    std::error_code error;
    std::wstring size = SizeText(fs::file_size(folder_ / name, error));
    ListView_SetItemText(list_, index, 1, size.data());
    if (name == selected_) {
      ListView_SetItemState(list_, index, LVIS_SELECTED | LVIS_FOCUSED,
                            LVIS_SELECTED | LVIS_FOCUSED);
    }
    ++index;
  }
  InvalidateRect(window_, nullptr, TRUE);
  PumpMessages(100);
}

POINT FolderWindow::SelectedItemPoint() const {
  POINT point{60, 40};
  const int index = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
  RECT item{};
  if (index >= 0 && ListView_GetItemRect(list_, index, &item, LVIR_LABEL)) {
    point = {item.left + 40, (item.top + item.bottom) / 2};
  }
  ClientToScreen(list_, &point);
  return point;
}

LRESULT CALLBACK FolderWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

void PumpMessages(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  } while (GetTickCount64() < end);
}
