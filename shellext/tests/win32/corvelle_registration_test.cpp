// Corvelle.dll registered with regsvr32 and found again through the
// registry, as Explorer finds it: the entries read back with reg.exe and the
// registry functions, then the handler created by its class identifier.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <sstream>

#include "class_factory.h"
#include "corvelle_test_support.h"
#include "shell_resources.h"
#include "temp_folder.h"

namespace {

const std::wstring kClassKey = L"CLSID\\{236F17A4-A013-41A6-AF17-02BF3991F75C}";
const std::wstring kServerKey = kClassKey + L"\\InprocServer32";
const std::wstring kHandlerKey =
    L"*\\shellex\\ContextMenuHandlers\\{236F17A4-A013-41A6-AF17-02BF3991F75C}";

struct ProgramResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::vector<std::string> lines;  // its output, without empty lines
};

// Runs a program of the system folder and collects what it writes.
ProgramResult RunSystemProgram(const std::wstring& program, const std::wstring& arguments) {
  ProgramResult result;
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(system) + L"\\" + program + L"\" " + arguments;

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  UniqueHandle reader(readEnd);
  UniqueHandle writer(writeEnd);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return result;
  }
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  writer.reset();

  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output.append(buffer, got);
  }
  WaitForSingleObject(processHandle.get(), INFINITE);
  GetExitCodeProcess(processHandle.get(), &result.exitCode);

  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) result.lines.push_back(line);
  }
  return result;
}

DWORD Regsvr32(const std::wstring& arguments, const std::filesystem::path& dll) {
  return RunSystemProgram(L"regsvr32.exe", arguments + L" \"" + dll.wstring() + L"\"").exitCode;
}

ProgramResult RegQuery(const std::wstring& key) {
  return RunSystemProgram(L"reg.exe", L"query \"HKEY_CLASSES_ROOT\\" + key + L"\" /s");
}

bool KeyExists(const std::wstring& key) {
  UniqueRegistryKey opened;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, opened.put()) ==
         ERROR_SUCCESS;
}

// One string value read with the registry functions: its type, its size in
// bytes and its text.
struct StoredValue {
  DWORD type = 0;
  DWORD bytes = 0;
  std::wstring text;
};

StoredValue ReadValue(const std::wstring& key, const wchar_t* name) {
  StoredValue value;
  UniqueRegistryKey opened;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) {
    return value;
  }
  wchar_t data[1024] = {};
  value.bytes = sizeof data;
  RegQueryValueExW(opened.get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(data),
                   &value.bytes);
  value.text = data;
  return value;
}

// Numbers of subkeys and values of a key.
std::pair<DWORD, DWORD> KeyShape(const std::wstring& key) {
  UniqueRegistryKey opened;
  DWORD subkeys = 0;
  DWORD values = 0;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS) {
    RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
  }
  return {subkeys, values};
}

class CorvelleRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    // An install folder whose name is not plain ASCII.
    install_ = root_.path() / L"Programas de vídeo \u5b57\u5e55";
    dll_ = InstallCorvelle(install_, true);
  }
  void TearDown() override {
    Regsvr32(L"/u /s", dll_);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kHandlerKey.c_str());
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();
  }

  void ExpectTheFourValues() {
    EXPECT_EQ(KeyShape(kClassKey), std::make_pair(DWORD{1}, DWORD{1}));
    EXPECT_EQ(KeyShape(kServerKey), std::make_pair(DWORD{0}, DWORD{2}));
    EXPECT_EQ(KeyShape(kHandlerKey), std::make_pair(DWORD{0}, DWORD{1}));
    const struct {
      std::wstring key;
      const wchar_t* name;
      std::wstring data;
    } expected[] = {
        {kClassKey, nullptr, L"Corvelle.Corvelle Class"},
        {kServerKey, nullptr, dll_.wstring()},
        {kServerKey, L"ThreadingModel", L"Apartment"},
        {kHandlerKey, nullptr, L"Corvelle.Corvelle"},
    };
    for (const auto& value : expected) {
      const StoredValue stored = ReadValue(value.key, value.name);
      EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ)) << Utf8(value.key);
      EXPECT_EQ(stored.text, value.data) << Utf8(value.key);
      // The stored text ends with its terminating null. (Wine adds a missing
      // null itself when the next unit in memory is one; Windows does not.)
      EXPECT_EQ(stored.bytes, (value.data.size() + 1) * sizeof(wchar_t)) << Utf8(value.key);
    }
  }

  TempFolder root_;
  std::filesystem::path install_;
  std::filesystem::path dll_;
  TempFolder videos_;
};

}  // namespace

TEST_F(CorvelleRegistration, Regsvr32WritesExactlyTheFourValues) {
  ASSERT_EQ(Regsvr32(L"/s", dll_), 0u);
  ExpectTheFourValues();

  // As reg.exe shows them (the module path is checked above, since reg.exe's
  // output to a pipe is not Unicode).
  const ProgramResult classKey = RegQuery(kClassKey);
  EXPECT_EQ(classKey.exitCode, 0u);
  ASSERT_EQ(classKey.lines.size(), 5u);
  EXPECT_EQ(classKey.lines[0], "HKEY_CLASSES_ROOT\\CLSID\\{236F17A4-A013-41A6-AF17-02BF3991F75C}");
  EXPECT_EQ(classKey.lines[1], "    (Default)    REG_SZ    Corvelle.Corvelle Class");
  EXPECT_EQ(classKey.lines[2],
            "HKEY_CLASSES_ROOT\\CLSID\\{236F17A4-A013-41A6-AF17-02BF3991F75C}\\InprocServer32");
  EXPECT_EQ(classKey.lines[3].rfind("    (Default)    REG_SZ    ", 0), 0u) << classKey.lines[3];
  EXPECT_NE(classKey.lines[3].find("Corvelle.dll"), std::string::npos) << classKey.lines[3];
  EXPECT_EQ(classKey.lines[4], "    ThreadingModel    REG_SZ    Apartment");
  const ProgramResult handlerKey = RegQuery(kHandlerKey);
  EXPECT_EQ(handlerKey.exitCode, 0u);
  EXPECT_EQ(handlerKey.lines,
            (std::vector<std::string>{
                "HKEY_CLASSES_ROOT\\*\\shellex\\ContextMenuHandlers\\"
                "{236F17A4-A013-41A6-AF17-02BF3991F75C}",
                "    (Default)    REG_SZ    Corvelle.Corvelle"}));

  // Registering again leaves the same four values.
  ASSERT_EQ(Regsvr32(L"/s", dll_), 0u);
  ExpectTheFourValues();
  EXPECT_EQ(RegQuery(kClassKey).lines, classKey.lines);
}

TEST_F(CorvelleRegistration, Regsvr32UnregisterRemovesBothKeysAndSecondTimeFindsNothing) {
  ASSERT_EQ(Regsvr32(L"/s", dll_), 0u);
  ASSERT_TRUE(KeyExists(kClassKey));
  EXPECT_EQ(Regsvr32(L"/u /s", dll_), 0u);
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_FALSE(KeyExists(kHandlerKey));
  EXPECT_NE(RegQuery(kClassKey).exitCode, 0u);
  EXPECT_NE(RegQuery(kHandlerKey).exitCode, 0u);

  // regsvr32 reports the failed second unregistration; the export says why.
  EXPECT_NE(Regsvr32(L"/u /s", dll_), 0u);
  LoadedCorvelle loaded(dll_);
  ASSERT_NE(loaded.module(), nullptr);
  EXPECT_EQ(loaded.UnregisterServer(), static_cast<HRESULT>(0x80070002));

  // Without the class key the handler key is left alone.
  UniqueRegistryKey handler;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kHandlerKey.c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, handler.put(), nullptr),
            ERROR_SUCCESS);
  handler.reset();
  EXPECT_EQ(loaded.UnregisterServer(), static_cast<HRESULT>(0x80070002));
  EXPECT_TRUE(KeyExists(kHandlerKey));

  // The exports called directly behave as through regsvr32.
  EXPECT_EQ(loaded.RegisterServer(), S_OK);
  ExpectTheFourValues();
  EXPECT_EQ(loaded.UnregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_FALSE(KeyExists(kHandlerKey));
}

TEST_F(CorvelleRegistration, ExplorerCreatesTheHandlerThroughTheRegistration) {
  ASSERT_EQ(Regsvr32(L"/s", dll_), 0u);
  ASSERT_EQ(GetModuleHandleW(dll_.c_str()), nullptr);

  const auto first = videos_.path() / L"La Película 1.avi";
  const auto second = videos_.path() / L"\u7b2c\u4e8c\u8a71.mkv";
  WriteVideoFile(first, 150000, 1);
  WriteVideoFile(second, 500, 2);

  // Explorer's part: create the handler by class identifier, give it the
  // shell's own data object for the selection, build the menu and pick
  // "Top 10" from the submenu.
  ComPtr<IShellExtInit> init;
  ASSERT_EQ(CoCreateInstance(CLSID_Corvelle, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                             init.put_void()),
            S_OK);
  EXPECT_NE(GetModuleHandleW(dll_.c_str()), nullptr) << "loaded from the registered path";
  ComPtr<IDataObject> data;
  *data.put() = ShellDataObjectFor({first, second});
  ASSERT_TRUE(data);
  ASSERT_EQ(init->Initialize(nullptr, data.get(), nullptr), S_OK);

  ComPtr<IContextMenu> handler;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, handler.put_void()), S_OK);
  UniqueMenu menu(CreatePopupMenu());
  const UINT firstCommand = 100;
  ASSERT_EQ(handler->QueryContextMenu(menu.get(), 0, firstCommand, 0x7FFF, CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  HMENU submenu = GetSubMenu(menu.get(), 1);
  ASSERT_NE(submenu, nullptr);
  wchar_t text[32] = {};
  GetMenuStringW(submenu, 1, text, 32, MF_BYPOSITION);
  ASSERT_EQ(std::wstring(text), L"Top 10");
  const UINT picked = GetMenuItemID(submenu, 1);

  CMINVOKECOMMANDINFOEX invoke{};
  invoke.cbSize = sizeof invoke;
  invoke.fMask = CMIC_MASK_UNICODE;
  invoke.lpVerb = MAKEINTRESOURCEA(picked - firstCommand);
  invoke.lpVerbW = MAKEINTRESOURCEW(picked - firstCommand);
  invoke.nShow = SW_SHOWNORMAL;
  EXPECT_EQ(handler->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&invoke)), S_OK);

  // Released by Explorer at once; the module goes once the command is done
  // with it, and not before.
  handler.reset();
  init.reset();
  data.reset();
  EXPECT_TRUE(ServeMessagesUntil([&] {
    CoFreeUnusedLibrariesEx(0, 0);
    return GetModuleHandleW(dll_.c_str()) == nullptr;
  })) << "the module was not unloaded";

  bool overlapped = true;
  const auto runs = ReadWizardRuns(install_, &overlapped);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_FALSE(overlapped);
  EXPECT_TRUE(runs[0].ended && runs[1].ended) << "unloaded while a wizard ran";
  const std::string fp1 = ExpectedFingerprint(first);
  const std::string fp2 = ExpectedFingerprint(second);
  std::wstring firstStar = first.wstring();
  for (auto& unit : firstStar) unit = unit == L' ' ? L'*' : unit;
  EXPECT_EQ(_wcsicmp(runs[0].program.c_str(), (install_ / L"morvane.exe").c_str()), 0)
      << Utf8(runs[0].program);
  EXPECT_EQ(runs[0].parameters, std::wstring(fp1.begin(), fp1.end()) + L" " + firstStar + L" 42 top");
  EXPECT_EQ(runs[1].parameters,
            std::wstring(fp2.begin(), fp2.end()) + L" " + second.wstring() + L" 42 top");
}

TEST_F(CorvelleRegistration, ModuleInALongFolderIsRegisteredByItsWholePath) {
  auto deep = root_.path();
  for (int i = 0; i < 3; ++i) deep /= std::wstring(100, static_cast<wchar_t>(L'k' + i));
  const auto dll = InstallCorvelle(deep, false);
  ASSERT_GT(dll.wstring().size(), 300u);
  {
    LoadedCorvelle loaded(dll);
    ASSERT_NE(loaded.module(), nullptr);
    ASSERT_EQ(loaded.RegisterServer(), S_OK);
  }
  EXPECT_EQ(ReadValue(kServerKey, nullptr).text, dll.wstring());
}
