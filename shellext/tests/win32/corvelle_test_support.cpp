#include "corvelle_test_support.h"

#include <shellapi.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "code_page.h"
#include "file_fingerprint.h"
#include "unique_resource.h"
#include "video_fingerprint.h"

std::string Utf8(const std::wstring& text) { return WideToCodePage(text, CP_UTF8); }

namespace {

}  // namespace

std::filesystem::path BuildOutputFolder() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return std::filesystem::path(path).parent_path();
}

std::filesystem::path InstallCorvelle(const std::filesystem::path& folder, bool withWizard) {
  std::filesystem::create_directories(folder);
  const auto dll = folder / L"Corvelle.dll";
  std::filesystem::copy_file(BuildOutputFolder() / L"Corvelle.dll", dll);
  if (withWizard) {
    std::filesystem::copy_file(BuildOutputFolder() / L"recording_wizard.exe",
                               folder / L"morvane.exe");
  }
  return dll;
}

LoadedCorvelle::LoadedCorvelle(const std::filesystem::path& dll)
    : module_(LoadLibraryW(dll.c_str())) {
  if (!module_) return;
  getClassObject_ = reinterpret_cast<decltype(getClassObject_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
  canUnloadNow_ = reinterpret_cast<decltype(canUnloadNow_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
  registerServer_ = reinterpret_cast<decltype(registerServer_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
  unregisterServer_ = reinterpret_cast<decltype(unregisterServer_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllUnregisterServer")));
}

LoadedCorvelle::~LoadedCorvelle() {
  if (module_) FreeLibrary(module_);
}

namespace {

// Frees a medium's memory when the last reference to it goes, and counts
// that release.
class MediumRelease final : public IUnknown {
 public:
  MediumRelease(HGLOBAL memory, LONG* released) : memory_(memory), released_(released) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG count = InterlockedDecrement(&references_);
    if (count == 0) {
      GlobalFree(memory_);
      InterlockedIncrement(released_);
      delete this;
    }
    return count;
  }

 private:
  LONG references_ = 1;
  HGLOBAL memory_;
  LONG* released_;
};

// Hands out a fresh copy of its drop list on every request, since the
// caller releases the medium it gets.
class DropListDataObject final : public IDataObject {
 public:
  DropListDataObject() = default;  // offers no drop list at all
  DropListDataObject(const std::vector<std::wstring>& paths, LONG* mediaReleased)
      : mediaReleased_(mediaReleased) {
    // DROPFILES, then each path with its null, then one more null.
    std::wstring list;
    for (const auto& path : paths) list += path + L'\0';
    list += L'\0';
    if (paths.empty()) list += L'\0';  // an empty list is two nulls
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    bytes_.resize(sizeof header + list.size() * sizeof(wchar_t));
    memcpy(bytes_.data(), &header, sizeof header);
    memcpy(bytes_.data() + sizeof header, list.data(), list.size() * sizeof(wchar_t));
  }

  // Hands out exactly these bytes as the drop list's block.
  explicit DropListDataObject(std::vector<unsigned char> block) : bytes_(std::move(block)) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
      *object = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG count = InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return count;
  }

  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (bytes_.empty() || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) {
      return DV_E_FORMATETC;
    }
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    if (!memory) return E_OUTOFMEMORY;
    memcpy(GlobalLock(memory), bytes_.data(), bytes_.size());
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease =
        mediaReleased_ ? new MediumRelease(memory, mediaReleased_) : nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* format) override {
    return !bytes_.empty() && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  LONG references_ = 1;
  std::vector<unsigned char> bytes_;
  LONG* mediaReleased_ = nullptr;
};

}  // namespace

IDataObject* NewDropListDataObject(const std::vector<std::wstring>& paths,
                                   LONG* mediaReleased) {
  return new DropListDataObject(paths, mediaReleased);
}

IDataObject* NewDataObjectWithoutDropList() { return new DropListDataObject(); }

IDataObject* NewDropBlockDataObject(std::vector<unsigned char> block) {
  return new DropListDataObject(std::move(block));
}

IDataObject* ShellDataObjectFor(const std::vector<std::filesystem::path>& files) {
  if (files.empty()) return nullptr;
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  IDataObject* data = nullptr;
  PIDLIST_ABSOLUTE folderList = nullptr;
  std::wstring folderName = files.front().parent_path().wstring();
  if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, folderName.data(), nullptr,
                                          &folderList, nullptr))) {
    IShellFolder* folder = nullptr;
    if (SUCCEEDED(desktop->BindToObject(folderList, nullptr, IID_IShellFolder,
                                        reinterpret_cast<void**>(&folder)))) {
      std::vector<PITEMID_CHILD> children;
      for (const auto& file : files) {
        std::wstring name = file.filename().wstring();
        PIDLIST_RELATIVE child = nullptr;
        if (SUCCEEDED(folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &child,
                                               nullptr))) {
          children.push_back(static_cast<PITEMID_CHILD>(child));
        }
      }
      if (children.size() == files.size()) {
        folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()),
                              const_cast<PCUITEMID_CHILD_ARRAY>(children.data()), IID_IDataObject,
                              nullptr, reinterpret_cast<void**>(&data));
      }
      for (auto child : children) CoTaskMemFree(child);
      folder->Release();
    }
    CoTaskMemFree(folderList);
  }
  desktop->Release();
  return data;
}

std::vector<WizardRun> ReadWizardRuns(const std::filesystem::path& folder, bool* overlapped) {
  std::vector<WizardRun> runs;
  if (overlapped) *overlapped = false;
  std::ifstream in(folder / L"morvane-calls.txt", std::ios::binary);
  std::string line;
  bool open = false;
  while (std::getline(in, line)) {
    if (line == "begin") {
      if (open && overlapped) *overlapped = true;
      runs.emplace_back();
      open = true;
    } else if (line == "end") {
      if (!open && overlapped) *overlapped = true;
      // The earliest run still open ends first when runs overlap.
      for (auto& run : runs) {
        if (!run.ended) {
          run.ended = true;
          break;
        }
      }
      open = false;
      for (const auto& run : runs) open = open || !run.ended;
    } else if (!runs.empty()) {
      const size_t space = line.find(' ');
      const std::string key = line.substr(0, space);
      const std::wstring value =
          space == std::string::npos ? std::wstring()
                                     : CodePageToWide(line.substr(space + 1), CP_UTF8);
      if (key == "program") runs.back().program = value;
      if (key == "parameters") runs.back().parameters = value;
      if (key == "argument") runs.back().arguments.push_back(value);
    }
  }
  return runs;
}

bool HasDisplay() { return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0; }

DialogCloser::DialogCloser()
    : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), thread_([this] { Watch(); }) {}

DialogCloser::~DialogCloser() {
  SetEvent(stop_);
  thread_.join();
  CloseHandle(stop_);
}

std::vector<DialogCloser::Seen> DialogCloser::seen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

void DialogCloser::Watch() {
  while (WaitForSingleObject(stop_, 25) == WAIT_TIMEOUT) {
    std::vector<HWND> dialogs;
    EnumWindows(
        [](HWND window, LPARAM found) -> BOOL {
          DWORD process = 0;
          GetWindowThreadProcessId(window, &process);
          wchar_t className[16] = {};
          GetClassNameW(window, className, 16);
          if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
              wcscmp(className, L"#32770") == 0) {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialogs));
    for (HWND dialog : dialogs) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (std::find(handled_.begin(), handled_.end(), dialog) != handled_.end()) continue;
      handled_.push_back(dialog);
      Seen seen;
      wchar_t text[512] = {};
      GetWindowTextW(dialog, text, 512);
      seen.caption = text;
      text[0] = 0;
      GetDlgItemTextW(dialog, 0xFFFF, text, 512);  // the message box's text
      seen.text = text;
      seen.owner = GetWindow(dialog, GW_OWNER);
      seen_.push_back(seen);
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
  }
}

void WriteVideoFile(const std::filesystem::path& path, size_t size, int seed) {
  std::filesystem::create_directories(path.parent_path());
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + seed);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ExpectedFingerprint(const std::filesystem::path& path) {
  return FormatFingerprintText(FingerprintOfFile(path));
}

CMINVOKECOMMANDINFO InvokeByOffset(unsigned offset, HWND owner) {
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.hwnd = owner;
  info.lpVerb = MAKEINTRESOURCEA(offset);
  info.nShow = SW_SHOWNORMAL;
  return info;
}

CMINVOKECOMMANDINFOEX InvokeUnicode(LPCSTR verb, LPCWSTR verbW, HWND owner) {
  CMINVOKECOMMANDINFOEX info{};
  info.cbSize = sizeof info;
  info.fMask = CMIC_MASK_UNICODE;
  info.hwnd = owner;
  info.lpVerb = verb;
  info.lpVerbW = verbW;
  info.nShow = SW_SHOWNORMAL;
  return info;
}
