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

// The shape of AllowSetForegroundWindow, so tests can see which process was
// let to the foreground.
using AllowForegroundFunction = BOOL(WINAPI*)(DWORD);

// Starts the wizard with the given parameters, lets its process take the
// foreground (so its window is not hidden behind the caller's), and returns
// when that process has ended, serving the calling thread's messages
// meanwhile. A failed start is left to the platform to report, unless
// `showUi` is false; the caller goes on either way.
void LaunchWizard(const std::wstring& programPath, const std::wstring& parameters, bool showUi,
                  AllowForegroundFunction allowForeground);
void LaunchWizard(const std::wstring& programPath, const std::wstring& parameters, bool showUi);

using LaunchWizardFunction =
    std::function<void(const std::wstring& programPath, const std::wstring& parameters,
                       bool showUi)>;

// One menu command over a selection, holding its own copies of everything it
// needs: the handler that made it may be released before it ends.
struct WizardCommand {
  HWND owner = nullptr;  // owns the "file in use" message; the caller's window, not ours
  std::vector<std::wstring> paths;  // in the selection's order
  MenuCommand command = CommandBestSubtitle;
  std::wstring programPath;
  bool showUi = true;  // false: no message box of ours, and none from a failed start
};

// Runs the command on the calling thread: first the fingerprint of every
// file (a file that cannot be opened shows its message, owned by the
// command's window while that still exists, and gets no wizard), then one
// wizard per remaining file, each started after the previous one has ended.
void RunWizardCommand(const WizardCommand& command, MessageBoxAFunction showMessage,
                      const LaunchWizardFunction& launch);
// The same with the platform's message box and LaunchWizard.
void RunWizardCommand(const WizardCommand& command);

// Runs the command on a thread of its own and returns at once, so the
// caller's window keeps serving its messages. Until that thread has ended
// the module counts one more object (DllCanUnloadNow answers S_FALSE) and
// holds a reference on itself, so its code stays mapped even when unloaded
// in the meantime. Commands take turns: one started while another runs
// waits for it to end. Fails only when the thread cannot be made.
HRESULT StartWizardCommand(WizardCommand command);
