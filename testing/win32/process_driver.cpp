#include "process_driver.h"

#include <set>

#include "window_lookup.h"

namespace {

// The message of a message box: its longest static text (the icon is a
// static without text).
std::wstring MessageBoxText(HWND box) {
  std::wstring longest;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (_wcsicmp(ClassName(child).c_str(), L"Static") != 0) continue;
    std::wstring text = WindowText(child);
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

struct Scan {
  DWORD processId;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectVisible(HWND window, LPARAM parameter) {
  auto* scan = reinterpret_cast<Scan*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == scan->processId && IsWindowVisible(window)) scan->windows.push_back(window);
  return TRUE;
}

void PumpOwnMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

DrivenRun ProcessDriver::Run(const std::wstring& program, const std::wstring& arguments,
                             Answer answer, DWORD timeoutMilliseconds, Act act) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return DrivenRun{};
  }
  CloseHandle(process.hThread);
  const DrivenRun run = Drive(process.hProcess, process.dwProcessId, answer, timeoutMilliseconds, act);
  CloseHandle(process.hProcess);
  return run;
}

DrivenRun ProcessDriver::Drive(HANDLE process, DWORD processId, Answer answer,
                               DWORD timeoutMilliseconds, Act act) {
  DrivenRun run;
  std::set<HWND> answered, noted;
  const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
  while (true) {
    PumpOwnMessages();
    Scan scan{processId, {}};
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&scan));
    for (HWND window : scan.windows) {
      if (ClassName(window) == L"#32770") {
        if (answered.count(window)) continue;
        answered.insert(window);
        SeenMessageBox box{WindowText(window), MessageBoxText(window)};
        run.messageBoxes.push_back(box);
        const int button = answer ? answer(box) : IDOK;
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
      } else {
        if (!noted.count(window)) {
          noted.insert(window);
          run.shownWindows.push_back(ClassName(window) + L"|" + WindowText(window));
        }
        if (act) act(window);
      }
    }
    if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) {
      run.finished = true;
      break;
    }
    if (GetTickCount64() > deadline) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 5000);
      break;
    }
  }
  GetExitCodeProcess(process, &run.exitCode);
  return run;
}
