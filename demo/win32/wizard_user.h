#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "narration.h"
#include "process_driver.h"

// What happened to the wizard one command started.
struct WizardOutcome {
  bool found = false;     // the extension's wizard process was seen
  bool finished = false;  // it ended by itself
  DWORD exitCode = 0;
  bool userDone = false;  // list mode: the user got through to "Terminar"
  std::vector<SeenMessageBox> messageBoxes;
};

// Watches for the wizard that the extension starts from this process
// (a child process named morvane.exe), says how it was started, and plays
// its user until it ends: message boxes are read and answered; in list mode
// the user ticks rows, presses Next and, on the closing page, Terminar.
class WizardUser {
 public:
  WizardUser(bool listMode, const ScreenshotTaker& screenshots, std::wstring screenshotPrefix);
  ~WizardUser();
  WizardUser(const WizardUser&) = delete;
  WizardUser& operator=(const WizardUser&) = delete;

  // Called once the command has returned. The extension starts the wizard
  // on a thread of its own after that: waits, handling the calling
  // thread's window messages as Explorer does, until the wizard has been
  // seen and has ended, or none came within a while.
  WizardOutcome Finish();

 private:
  void Watch();
  void ActInList(HWND window);

  const bool listMode_;
  const ScreenshotTaker& screenshots_;
  const std::wstring prefix_;
  std::atomic<bool> stopWaiting_{false};
  std::atomic<bool> done_{false};
  WizardOutcome outcome_;
  int listStep_ = 0;
  ULONGLONG readySince_ = 0;
  std::thread thread_;
};
