// The setup program as an administrator runs it, in a Wine prefix of its own:
// silent install, the files, the extension's registration in the 64-bit
// view and the entry under installed programs; a second install over the
// first; the installed chain used the way Explorer uses it; then a silent
// uninstall that leaves nothing behind.
//
// Environment (set by scripts/test-installer):
//   MORVANE_SETUP         Windows path of setup.exe
//   MORVANE_SAMPLE_VIDEO  Windows path of a video the running service knows
//   MORVANE_I686_RUNS     "1" where 32-bit programs run
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "com_ptr.h"
#include "context_menu_rules.h"
#include "corvelle_test_support.h"
#include "registration_entries.h"
#include "temp_folder.h"
#include "unique_resource.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::wstring kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvane";

std::wstring Environment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value ? value : L"";
}

fs::path InstallFolder() {
  wchar_t* folder = nullptr;
  SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &folder);
  fs::path path = fs::path(folder) / L"Morvane";
  CoTaskMemFree(folder);
  return path;
}

// Runs a program and waits for it; returns its exit code.
DWORD Run(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "cannot start " << Utf8(program) << ": error " << GetLastError();
    return 0xFFFFFFFF;
  }
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  WaitForSingleObject(processHandle.get(), 120000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(processHandle.get(), &code);
  return code;
}

// A value of a key in the 64-bit view, or nothing when key or value is absent.
bool ReadValue(HKEY root, const std::wstring& key, const std::wstring& name, std::wstring* text,
               DWORD* number = nullptr) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS)
    return false;
  UniqueRegistryKey owner(opened);
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(opened, name.empty() ? nullptr : name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return false;
  if (type == REG_DWORD && number) std::memcpy(number, buffer, sizeof *number);
  if (text) *text = type == REG_SZ ? std::wstring(buffer) : std::wstring();
  return true;
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
    return false;
  UniqueRegistryKey owner(opened);
  return true;
}

// The entries under installed programs that name this product.
int ProductEntries() {
  HKEY uninstall = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                    0, KEY_READ | KEY_WOW64_64KEY, &uninstall) != ERROR_SUCCESS)
    return 0;
  UniqueRegistryKey owner(uninstall);
  int count = 0;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(uninstall, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    std::wstring displayName;
    ReadValue(uninstall, name, L"DisplayName", &displayName);
    if (displayName.rfind(L"Morvane", 0) == 0) ++count;
  }
  return count;
}

// The machine a PE file is built for: 0x14C i686, 0x8664 x86_64.
unsigned PeMachine(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 0x40) return 0;
  const auto header = *reinterpret_cast<const uint32_t*>(&bytes[0x3C]);
  if (bytes.size() < header + 6) return 0;
  return *reinterpret_cast<const uint16_t*>(&bytes[header + 4]);
}

// A text of a file's version resource, in the language it declares.
std::wstring VersionText(const fs::path& file, const std::wstring& name) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return L"(no version resource)";
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return L"(unreadable)";
  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof *translation)
    return L"(no translation)";
  wchar_t path[128];
  swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
           translation->codePage, name.c_str());
  wchar_t* value = nullptr;
  if (!VerQueryValueW(data.data(), path, reinterpret_cast<void**>(&value), &length))
    return L"(missing)";
  return value;
}

// The manifest a program carries as resource 1.
std::string Manifest(const fs::path& program) {
  HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return {};
  std::string text;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
    const void* bytes = LockResource(LoadResource(module, found));
    text.assign(static_cast<const char*>(bytes), SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

// Waits for `done` to hold, up to `limit`.
template <typename Condition>
bool WaitFor(Condition done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

void Install(const std::wstring& setup) {
  ASSERT_EQ(Run(setup, L"/S"), 0u);
  const fs::path folder = InstallFolder();
  for (const wchar_t* file : {L"Morvane.exe", L"Corvelle.dll", L"uninstall.exe"})
    EXPECT_TRUE(fs::exists(folder / file)) << Utf8(file);
  EXPECT_EQ(PeMachine(folder / L"Morvane.exe"), 0x14Cu) << "the wizard users get is the i686 build";
  EXPECT_EQ(PeMachine(folder / L"Corvelle.dll"), 0x8664u);

  // The extension registered itself in the 64-bit view, at its installed path.
  const std::wstring dll = (folder / L"Corvelle.dll").wstring();
  for (const RegistryValue& value : RegistrationValues(kCorvelleClassIdText, dll)) {
    std::wstring data;
    EXPECT_TRUE(ReadValue(HKEY_CLASSES_ROOT, value.key, value.name, &data)) << Utf8(value.key);
    EXPECT_EQ(data, value.data) << Utf8(value.key);
  }

  // One entry under installed programs.
  std::wstring text;
  DWORD number = 0;
  EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", &text));
  EXPECT_EQ(text, L"Morvane 1.0");
  ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", &text);
  EXPECT_EQ(text, L"1.0");
  ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher", &text);
  EXPECT_EQ(text, L"Morvane");
  ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", &text);
  EXPECT_EQ(text, L"\"" + (folder / L"uninstall.exe").wstring() + L"\"");
  ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", &text);
  EXPECT_EQ(text, (folder / L"uninstall.exe").wstring() + L",0");
  EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", nullptr, &number));
  const auto installedKiB = (fs::file_size(folder / L"Morvane.exe") +
                             fs::file_size(folder / L"Corvelle.dll")) / 1024;
  EXPECT_GE(number, installedKiB);
  EXPECT_LT(number, installedKiB + 1024);
  EXPECT_EQ(ProductEntries(), 1);
}

void CheckShippedFiles() {
  const fs::path folder = InstallFolder();
  struct Expected {
    const wchar_t* file;
    const wchar_t* description;
  } const files[] = {{L"Morvane.exe", L"Asistente de descarga de subtítulos"},
                     {L"Corvelle.dll", L"Menú contextual de descarga de subtítulos"}};
  for (const auto& expected : files) {
    const fs::path file = folder / expected.file;
    EXPECT_EQ(VersionText(file, L"ProductName"), L"Morvane");
    EXPECT_EQ(VersionText(file, L"ProductVersion"), L"1.0");
    EXPECT_EQ(VersionText(file, L"FileVersion"), L"1.0.0");
    EXPECT_EQ(VersionText(file, L"OriginalFilename"), expected.file);
    EXPECT_EQ(VersionText(file, L"FileDescription"), expected.description);
    EXPECT_EQ(VersionText(file, L"LegalCopyright"), L"© 2026 Morvane");
  }
  // Runs with the user's rights and without file virtualization.
  const std::string manifest = Manifest(folder / L"Morvane.exe");
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
      << manifest;
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos)
      << "Windows 10 and 11 declared";
}

// Right-click and "Mejor subtítulo" on a copy of the sample video, with the
// handler created from the registration as Explorer creates it.
void UseAsExplorerDoes(const fs::path& video) {
  TempFolder folder;
  const fs::path copy = folder.path() / L"Mis Videos" / video.filename();
  fs::create_directories(copy.parent_path());
  fs::copy_file(video, copy);

  CLSID classId{};
  ASSERT_EQ(CLSIDFromString(kCorvelleClassIdText, &classId), S_OK);
  ComPtr<IShellExtInit> init;
  ASSERT_EQ(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                             reinterpret_cast<void**>(init.put())),
            S_OK);
  ComPtr<IDataObject> data;
  *data.put() = NewDropListDataObject({copy.wstring()});
  ASSERT_EQ(init->Initialize(nullptr, data.get(), nullptr), S_OK);
  ComPtr<IContextMenu> menu;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(menu.put())), S_OK);
  UniqueMenu popup(CreatePopupMenu());
  ASSERT_EQ(menu->QueryContextMenu(popup.get(), 0, 1, 0x7FFF, CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, kMenuCommandCount));

  if (Environment(L"MORVANE_I686_RUNS") != L"1") {
    std::printf("[   NOTE   ] the installed i686 wizard is not started: 32-bit programs "
                "do not run on this machine\n");
    return;
  }
  CMINVOKECOMMANDINFO invoke = InvokeByOffset(CommandBestSubtitle);
  ASSERT_EQ(menu->InvokeCommand(&invoke), S_OK);
  // The wizard places the subtitle beside the video under the video's name.
  const fs::path subtitle = fs::path(copy).replace_extension(L".srt");
  EXPECT_TRUE(WaitFor([&] { return fs::exists(subtitle) && fs::file_size(subtitle) > 0; }, 60s))
      << Utf8(subtitle.wstring());
}

void Uninstall() {
  const fs::path folder = InstallFolder();
  // The uninstaller starts a copy of itself from the temporary folder and
  // returns at once: what it removes goes a moment later.
  ASSERT_EQ(Run((folder / L"uninstall.exe").wstring(), L"/S"), 0u);
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(folder) && ProductEntries() == 0; }, 60s))
      << "folder or entry still there";
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKeyName(kCorvelleClassIdText), KEY_WOW64_64KEY));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, HandlerKeyName(kCorvelleClassIdText), KEY_WOW64_64KEY));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY));
}

TEST(Installer, InstallsUsesAndRemovesTheProgram) {
  const std::wstring setup = Environment(L"MORVANE_SETUP");
  ASSERT_FALSE(setup.empty()) << "MORVANE_SETUP names no setup program";
  ASSERT_FALSE(fs::exists(InstallFolder())) << "the prefix is not fresh";
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  ASSERT_NO_FATAL_FAILURE(Install(setup));
  ASSERT_NO_FATAL_FAILURE(CheckShippedFiles());
  // Installing again replaces the files and keeps one entry.
  ASSERT_NO_FATAL_FAILURE(Install(setup));

  const std::wstring video = Environment(L"MORVANE_SAMPLE_VIDEO");
  if (video.empty()) {
    ADD_FAILURE() << "MORVANE_SAMPLE_VIDEO names no video";
  } else {
    ASSERT_NO_FATAL_FAILURE(UseAsExplorerDoes(video));
  }
  CoFreeUnusedLibraries();

  ASSERT_NO_FATAL_FAILURE(Uninstall());
  CoUninitialize();
}

}  // namespace
