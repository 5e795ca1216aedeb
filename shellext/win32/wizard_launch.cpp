#include "wizard_launch.h"

#include <objbase.h>
#include <shellapi.h>

#include <memory>

#include "module_state.h"
#include "unique_resource.h"
#include "wizard_parameters.h"

std::wstring ModuleFilePath(HMODULE module) {
  // Long install folders are allowed: grow the buffer until the whole path fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::wstring ModuleDirectory() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModuleDirectory), &module)) {
    return {};
  }
  return ModuleDirectoryFromFilePath(ModuleFilePath(module));
}

std::wstring WizardProgramPath() { return WizardProgramPathIn(ModuleDirectory()); }

namespace {

// Waits for `process` to end while dispatching the thread's messages: the
// thread is a single-threaded apartment and may own windows (COM's, the
// shell's), which must not stop answering while a wizard runs.
void WaitServingMessages(HANDLE process) {
  for (;;) {
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken != WAIT_OBJECT_0 + 1) return;  // ended, or nothing left to wait on
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

}  // namespace

void LaunchWizard(const std::wstring& programPath, const std::wstring& parameters, bool showUi,
                  AllowForegroundFunction allowForeground) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | (showUi ? 0 : SEE_MASK_FLAG_NO_UI);
  info.lpVerb = L"open";
  info.lpFile = programPath.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOW;
  ShellExecuteExW(&info);
  // A failed start leaves no process: there is nothing to wait for.
  UniqueHandle process(info.hProcess);
  if (!process) return;
  // The shell's process may hand the foreground on; the wizard, started from
  // a thread that is not the foreground one, could not take it by itself.
  if (const DWORD id = GetProcessId(process.get())) allowForeground(id);
  WaitServingMessages(process.get());
}

void LaunchWizard(const std::wstring& programPath, const std::wstring& parameters, bool showUi) {
  LaunchWizard(programPath, parameters, showUi, ::AllowSetForegroundWindow);
}

void RunWizardCommand(const WizardCommand& command, MessageBoxAFunction showMessage,
                      const LaunchWizardFunction& launch) {
  std::vector<std::string> fingerprints;
  fingerprints.reserve(command.paths.size());
  for (const std::wstring& path : command.paths) {
    // The invoking window may have closed by now; a message owned by a window
    // that is gone would not show at all.
    const HWND owner = command.owner && IsWindow(command.owner) ? command.owner : nullptr;
    fingerprints.push_back(
        VideoFingerprintText(owner, path, command.showUi ? showMessage : nullptr));
  }
  for (const std::wstring& parameters :
       PlanWizardRuns(command.paths, fingerprints, command.command)) {
    launch(command.programPath, parameters, command.showUi);
  }
}

void RunWizardCommand(const WizardCommand& command) {
  RunWizardCommand(command, ::MessageBoxA,
                   [](const std::wstring& program, const std::wstring& parameters, bool showUi) {
                     LaunchWizard(program, parameters, showUi);
                   });
}

namespace {

// What the command's thread owns: the command, and the reference on the
// module that keeps its code mapped until the thread is gone.
struct CommandThread {
  WizardCommand command;
  HMODULE module = nullptr;
};

// Commands take turns: a second command, from the same window or another,
// starts its fingerprints and wizards only when the first has ended, as it
// did when each command held its caller's thread. Two wizards at once would
// share one working folder.
SRWLOCK CommandTurn = SRWLOCK_INIT;

DWORD WINAPI RunCommandThread(void* parameter) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<CommandThread> thread(static_cast<CommandThread*>(parameter));
    module = thread->module;
    AcquireSRWLockExclusive(&CommandTurn);
    // ShellExecuteExW may hand the start to shell extensions of its own: it
    // wants a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    try {
      RunWizardCommand(thread->command);
    } catch (...) {
      // Nothing may leave the thread; what was started stays started.
    }
    if (SUCCEEDED(com)) CoUninitialize();
    ReleaseSRWLockExclusive(&CommandTurn);
  }  // the command's copies are freed while the module's code is still ours
  ModuleObjectRemoved();
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

HRESULT StartWizardCommand(WizardCommand command) {
  auto thread = std::make_unique<CommandThread>();
  thread->command = std::move(command);
  // A counted reference on the module that holds this code, dropped by the
  // thread as it exits.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&RunCommandThread), &thread->module)) {
    return LastErrorResult();
  }
  ModuleObjectAdded();
  UniqueHandle handle(CreateThread(nullptr, 0, RunCommandThread, thread.get(), 0, nullptr));
  if (!handle) {
    const HRESULT result = LastErrorResult();
    ModuleObjectRemoved();
    FreeLibrary(thread->module);
    return FAILED(result) ? result : E_FAIL;
  }
  thread.release();  // the thread owns it now
  return S_OK;
}
