// Stands in for morvane.exe in the extension's tests: appends what it was
// started with to "morvane-calls.txt" beside itself (UTF-8), stays alive for
// a moment so that overlapping runs would show, and exits with code 0. While
// a file "morvane-hold" lies beside it (at most 20 seconds) it stays open,
// like a wizard the user has not closed yet.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "code_page.h"

namespace {

std::wstring OwnPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// The command line after the program's own name.
std::wstring Parameters(const std::wstring& commandLine) {
  size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    i = commandLine.find(L'"', 1);
    i = i == std::wstring::npos ? commandLine.size() : i + 1;
  } else {
    while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
  }
  while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
  return commandLine.substr(i);
}

void Append(const std::wstring& file, const std::string& text) {
  HANDLE handle = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(handle);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring self = OwnPath();
  const std::wstring record = self.substr(0, self.rfind(L'\\') + 1) + L"morvane-calls.txt";
  const std::wstring commandLine = GetCommandLineW();

  std::string text = "begin\nprogram " + WideToCodePage(self, CP_UTF8) + "\nparameters " +
                     WideToCodePage(Parameters(commandLine), CP_UTF8) + "\n";
  int count = 0;
  if (wchar_t** arguments = CommandLineToArgvW(commandLine.c_str(), &count)) {
    for (int i = 1; i < count; ++i) {
      text += "argument " + WideToCodePage(arguments[i], CP_UTF8) + "\n";
    }
    LocalFree(arguments);
  }
  Append(record, text);
  const std::wstring hold = self.substr(0, self.rfind(L'\\') + 1) + L"morvane-hold";
  for (int waited = 0; waited < 20000 && GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES;
       waited += 10) {
    Sleep(10);
  }
  Sleep(300);
  Append(record, "end\n");
  return 0;
}
