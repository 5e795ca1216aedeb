#pragma once

#include "wizard_platform.h"

// The wizard's system services over the Win32 API.
class SystemPlatform : public WizardPlatform {
 public:
  void MaskFloatingPointExceptions() override;
  std::wstring TempFolderPath() override;
  void ShellOpen(const std::wstring& target) override;
  void CloseWindowTitled(const std::wstring& title) override;
};
