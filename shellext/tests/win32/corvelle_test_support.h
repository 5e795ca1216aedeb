#pragma once

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Helpers for the tests that play Explorer's part against Corvelle.dll.

std::string Utf8(const std::wstring& text);

// The folder of the running test program, where the build puts Corvelle.dll
// and the recording stand-in for the wizard.
std::filesystem::path BuildOutputFolder();

// Copies Corvelle.dll into `folder` and, when asked, the recording stand-in
// beside it as "morvane.exe". Returns the DLL's new path.
std::filesystem::path InstallCorvelle(const std::filesystem::path& folder, bool withWizard);

// Corvelle.dll loaded from one path, with its four exports.
class LoadedCorvelle {
 public:
  explicit LoadedCorvelle(const std::filesystem::path& dll);
  ~LoadedCorvelle();
  LoadedCorvelle(const LoadedCorvelle&) = delete;
  LoadedCorvelle& operator=(const LoadedCorvelle&) = delete;

  HMODULE module() const { return module_; }
  HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object) const {
    return getClassObject_(classId, iid, object);
  }
  HRESULT CanUnloadNow() const { return canUnloadNow_(); }
  HRESULT RegisterServer() const { return registerServer_(); }
  HRESULT UnregisterServer() const { return unregisterServer_(); }

 private:
  HMODULE module_ = nullptr;
  HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* canUnloadNow_)() = nullptr;
  HRESULT(STDAPICALLTYPE* registerServer_)() = nullptr;
  HRESULT(STDAPICALLTYPE* unregisterServer_)() = nullptr;
};

// A data object carrying a CF_HDROP list of the given paths, as the shell
// hands it to a context-menu handler. Nothing else is offered. With
// `mediaReleased`, each medium it hands out carries a release object that
// frees the memory and counts one there when the medium is released.
IDataObject* NewDropListDataObject(const std::vector<std::wstring>& paths,
                                   LONG* mediaReleased = nullptr);

// A data object that offers no drop list.
IDataObject* NewDataObjectWithoutDropList();

// A data object whose drop list is exactly this block (made by the test:
// 8-bit names, damaged lists).
IDataObject* NewDropBlockDataObject(std::vector<unsigned char> block);

// A data object made by the shell itself for files of one folder (the one
// Explorer passes for a selection).
IDataObject* ShellDataObjectFor(const std::vector<std::filesystem::path>& files);

// One start of the recording stand-in.
struct WizardRun {
  std::wstring program;
  std::wstring parameters;
  std::vector<std::wstring> arguments;
  bool ended = false;
};

// The runs recorded in `folder`, in the order they began. `overlapped` is
// set when a run began before the previous one had ended.
std::vector<WizardRun> ReadWizardRuns(const std::filesystem::path& folder, bool* overlapped);

// Message boxes need a display: under Wine, an X server named by DISPLAY.
bool HasDisplay();

// Closes every message box (dialog class "#32770") this process shows while
// it lives, pressing its default button, and keeps what each one said.
class DialogCloser {
 public:
  struct Seen {
    std::wstring caption;
    std::wstring text;
    HWND owner;
  };
  DialogCloser();
  ~DialogCloser();
  std::vector<Seen> seen();

 private:
  void Watch();
  std::mutex mutex_;
  std::vector<Seen> seen_;
  std::vector<HWND> handled_;
  HANDLE stop_;
  std::thread thread_;
};

// Writes `size` bytes (byte i = i * 7 + seed) to `path`, making its folders.
void WriteVideoFile(const std::filesystem::path& path, size_t size, int seed);

// The fingerprint text the extension computes for a file.
std::string ExpectedFingerprint(const std::filesystem::path& path);

// The ways an invocation names a command.
CMINVOKECOMMANDINFO InvokeByOffset(unsigned offset, HWND owner = nullptr);
// The extended structure of a Unicode caller, with both verb fields as given.
CMINVOKECOMMANDINFOEX InvokeUnicode(LPCSTR verb, LPCWSTR verbW, HWND owner = nullptr);

// Dispatches this thread's messages until `done` answers true or `timeout`
// milliseconds have passed; returns what `done` answered last.
template <typename Done>
bool ServeMessagesUntil(Done done, DWORD timeout = 30000) {
  const ULONGLONG end = GetTickCount64() + timeout;
  while (!done()) {
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}
