#include "wizard_launch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "temp_folder.h"
#include "unique_resource.h"

namespace {

// What the command did, in order: messages shown and wizards started.
std::vector<std::string> events;

int WINAPI RecordMessage(HWND, LPCSTR text, LPCSTR, UINT) {
  events.push_back(std::string("message ") + text);
  return IDOK;
}

}  // namespace

class RunWizardCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    events.clear();
    a = folder.Write(L"a b.avi", "12345678");
    locked = folder.Write(L"locked.avi", "x");
    c = folder.Write(L"c.avi", "");
    holder.reset(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
  }

  void Run(bool showUi) {
    WizardCommand command;
    command.paths = {a.wstring(), locked.wstring(), c.wstring()};
    command.command = CommandTop10;
    command.programPath = L"C:\\Apps\\X\\morvane.exe";
    command.showUi = showUi;
    RunWizardCommand(command, RecordMessage,
                     [](const std::wstring& program, const std::wstring& parameters, bool ui) {
                       events.push_back("start " + std::string(program.begin(), program.end()) +
                                        " | " +
                                        std::string(parameters.begin(), parameters.end()) +
                                        (ui ? "" : " (no ui)"));
                     });
  }

  std::vector<std::string> ExpectedStarts(const std::string& suffix) {
    std::string aStar = a.string();
    for (auto& unit : aStar) unit = unit == ' ' ? '*' : unit;
    // 8 bytes "12345678" as one word, plus the size 8.
    return {"start C:\\Apps\\X\\morvane.exe | 3837363534333239 " + aStar + " 42 top" + suffix,
            "start C:\\Apps\\X\\morvane.exe | 0000000000000000 " + c.string() + " 42 top" +
                suffix};
  }

  TempFolder folder;
  std::filesystem::path a, locked, c;
  UniqueFile holder;
};

TEST_F(RunWizardCommandTest, AllFingerprintsComeBeforeTheFirstWizard) {
  Run(true);
  std::vector<std::string> expected = ExpectedStarts("");
  expected.insert(expected.begin(), "message El archivo est\xE1 siendo utilizado por otro proceso");
  EXPECT_EQ(events, expected);
}

TEST_F(RunWizardCommandTest, WithoutUiTheFileThatCannotBeOpenedIsSkippedSilently) {
  Run(false);
  EXPECT_EQ(events, ExpectedStarts(" (no ui)"));
}

namespace {

std::vector<std::wstring> allowed;  // image of each process let to the foreground

BOOL WINAPI RecordAllowedProcess(DWORD id) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  wchar_t image[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (process) QueryFullProcessImageNameW(process.get(), 0, image, &size);
  allowed.push_back(image);
  return TRUE;
}

}  // namespace

TEST(LaunchWizard, LetsTheStartedProcessToTheForegroundAndWaitsForIt) {
  allowed.clear();
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring program = std::wstring(system) + L"\\cmd.exe";
  TempFolder folder;
  const auto marker = folder.path() / L"ended.txt";
  LaunchWizard(program, L"/c echo x> \"" + marker.wstring() + L"\"", false, RecordAllowedProcess);
  EXPECT_TRUE(std::filesystem::exists(marker)) << "returned before the program had ended";
  ASSERT_EQ(allowed.size(), 1u);
  EXPECT_EQ(_wcsicmp(allowed[0].c_str(), program.c_str()), 0);

  // A program that cannot be started lets nothing to the foreground.
  allowed.clear();
  LaunchWizard((folder.path() / L"missing.exe").wstring(), L"", false, RecordAllowedProcess);
  EXPECT_TRUE(allowed.empty());
}

TEST(ModuleDirectory, IsTheFolderOfTheModuleHoldingTheCode) {
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  std::wstring expected = own;
  expected.resize(expected.rfind(L'\\') + 1);
  EXPECT_EQ(ModuleDirectory(), expected);
  EXPECT_EQ(WizardProgramPath(), expected + L"morvane.exe");
}

TEST(ModuleFilePath, ReadsPathsOfAnyLength) {
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  EXPECT_EQ(ModuleFilePath(nullptr), own);
}
