#include "system_platform.h"

#include <windows.h>
#include <shellapi.h>

#include <float.h>

void SystemPlatform::MaskFloatingPointExceptions() {
  // All six exception masks, on SSE and (in a 32-bit program) on x87; on
  // x87 also 64-bit precision and rounding to nearest (control word
  // 0x133F). _controlfp would leave the denormal mask as it found it.
  _control87(_MCW_EM, _MCW_EM);
#if defined(__i386__)
  _control87(_PC_64 | _RC_NEAR, _MCW_PC | _MCW_RC);
#endif
}

std::wstring SystemPlatform::TempFolderPath() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(buffer, length);
}

void SystemPlatform::ShellOpen(const std::wstring& target) {
  ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SystemPlatform::CloseWindowTitled(const std::wstring& title) {
  // The system's title search ignores letter case; the title must match
  // exactly.
  for (HWND window = FindWindowExW(nullptr, nullptr, nullptr, title.c_str()); window;
       window = FindWindowExW(nullptr, window, nullptr, title.c_str())) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (title != text) continue;
    // Delivered, but never waited on for long: a hung owner must not hang us.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 2000, &ignored);
    return;
  }
}
