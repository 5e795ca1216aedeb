// What any GUI program like the wizard pays to start under Wine: COM on its
// thread, the common controls (version 6, by the wizard's own manifest)
// and one hidden window, made and destroyed. The whole run's figures are
// read against it to tell Wine's share from the wizard's.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  HWND window = CreateWindowExW(0, WC_STATICW, L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                nullptr, instance, nullptr);
  if (window) DestroyWindow(window);
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
