#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "context_menu_rules.h"
#include "video_fingerprint_text.h"

// The full file path of a module, however long; empty when it cannot be
// found.
std::wstring ModuleFilePath(HMODULE module);

// The folder of the module file that holds this code (the extension's DLL),
// ending in "\"; empty when the module cannot be found.
std::wstring ModuleDirectory();

// "morvane.exe" in the folder of the extension's own module file, never
// looked up on the search path.
std::wstring WizardProgramPath();

// Starts the wizard with the given parameters and returns when its process
// has ended. A failed start is left to the platform to report; the caller
// goes on either way.
void LaunchWizard(const std::wstring& programPath, const std::wstring& parameters);

using LaunchWizardFunction = std::function<void(const std::wstring&, const std::wstring&)>;

// Runs one menu command over the selection: first the fingerprint of every
// file (a file that cannot be opened shows its message, owned by `owner`, and
// gets no wizard), then one wizard per remaining file, one after another.
void RunWizardCommand(HWND owner, const std::vector<std::wstring>& paths, MenuCommand command,
                      const std::wstring& programPath,
                      MessageBoxAFunction showMessage = ::MessageBoxA,
                      const LaunchWizardFunction& launch = LaunchWizard);
