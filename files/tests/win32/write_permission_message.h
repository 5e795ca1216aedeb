#pragma once

#include <windows.h>

#include "placing.h"

// The placing message as a real modal message box, for the tests that look
// at it on screen.
class WritePermissionMessageBox : public PlacingMessages {
 public:
  explicit WritePermissionMessageBox(HWND owner) : owner_(owner) {}  // not owned
  void ShowWritePermissionMessage() override {
    MessageBoxW(owner_, kWritePermissionText, kWritePermissionTitle, MB_OK | MB_ICONERROR);
  }

 private:
  HWND owner_;
};
