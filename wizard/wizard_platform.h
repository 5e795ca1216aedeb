#pragma once

#include <string>

// What the run needs of the system besides the window, the file system and
// the HTTP clients.
class WizardPlatform {
 public:
  virtual ~WizardPlatform() = default;

  // Masks every floating-point exception of the thread.
  virtual void MaskFloatingPointExceptions() = 0;

  // The user's temporary folder, ending in a backslash.
  virtual std::wstring TempFolderPath() = 0;

  // Asks the shell to open the text (an address), normally shown.
  virtual void ShellOpen(const std::wstring& target) = 0;
  // Sends WM_CLOSE to a top-level window with exactly this title, if any,
  // without waiting for it.
  virtual void CloseWindowTitled(const std::wstring& title) = 0;
};
