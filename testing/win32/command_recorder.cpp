// A stand-in program for the tests: appends its whole command line, in
// UTF-8, as one line to the file beside it named like the program with
// ".log" added ("recorder.exe" writes "recorder.exe.log"), then exits 0.
#include <windows.h>

#include <string>

#include "code_page.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  const std::wstring logPath = std::wstring(self) + L".log";

  const std::string utf8 = WideToCodePage(GetCommandLineW(), CP_UTF8) + "\n";

  HANDLE log = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(log, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(log);
  }
  return 0;
}
