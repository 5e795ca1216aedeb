#include "wizard_launch.h"

#include <shellapi.h>

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

void LaunchWizard(const std::wstring& programPath, const std::wstring& parameters) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"open";
  info.lpFile = programPath.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOW;
  ShellExecuteExW(&info);
  // A failed start leaves no process: there is nothing to wait for.
  UniqueHandle process(info.hProcess);
  if (process) WaitForSingleObject(process.get(), INFINITE);
}

void RunWizardCommand(HWND owner, const std::vector<std::wstring>& paths, MenuCommand command,
                      const std::wstring& programPath, MessageBoxAFunction showMessage,
                      const LaunchWizardFunction& launch) {
  std::vector<std::string> fingerprints;
  fingerprints.reserve(paths.size());
  for (const std::wstring& path : paths) {
    fingerprints.push_back(VideoFingerprintText(owner, path, showMessage));
  }
  for (const std::wstring& parameters : PlanWizardRuns(paths, fingerprints, command)) {
    launch(programPath, parameters);
  }
}
