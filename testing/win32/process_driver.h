#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A message box as a user sees it.
struct SeenMessageBox {
  std::wstring title, text;
};

// What a driven process did.
struct DrivenRun {
  bool finished = false;  // ended before the time limit (else it was killed)
  DWORD exitCode = 0;
  std::vector<SeenMessageBox> messageBoxes;  // in the order they appeared
  std::vector<std::wstring> shownWindows;    // other visible windows: "class|title"
};

// Plays the user of a Windows program: starts it, finds the message boxes
// it shows, reads them and presses the button the test chooses (IDOK,
// IDYES, IDNO ...), notes any other window it shows, and waits for it to
// end. The calling thread keeps processing its own window messages.
class ProcessDriver {
 public:
  using Answer = std::function<int(const SeenMessageBox&)>;
  // Called on every look at the program's other visible windows, to act in
  // them as a user would.
  using Act = std::function<void(HWND)>;

  static DrivenRun Run(const std::wstring& program, const std::wstring& arguments, Answer answer,
                       DWORD timeoutMilliseconds = 30000, Act act = nullptr);

  // The same for a process someone else started (we don't own the handle;
  // it needs SYNCHRONIZE, PROCESS_TERMINATE and PROCESS_QUERY_LIMITED_INFORMATION).
  static DrivenRun Drive(HANDLE process, DWORD processId, Answer answer,
                         DWORD timeoutMilliseconds = 30000, Act act = nullptr);
};
