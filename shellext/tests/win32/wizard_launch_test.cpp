#include "wizard_launch.h"

#include <gtest/gtest.h>

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

TEST(RunWizardCommand, AllFingerprintsComeBeforeTheFirstWizard) {
  TempFolder folder;
  const auto a = folder.Write(L"a b.avi", "12345678");
  const auto locked = folder.Write(L"locked.avi", "x");
  const auto c = folder.Write(L"c.avi", "");
  UniqueFile holder(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder);

  events.clear();
  RunWizardCommand(nullptr, {a.wstring(), locked.wstring(), c.wstring()}, CommandTop10,
                   L"C:\\Apps\\X\\morvane.exe", RecordMessage,
                   [](const std::wstring& program, const std::wstring& parameters) {
                     events.push_back("start " + std::string(program.begin(), program.end()) +
                                      " | " + std::string(parameters.begin(), parameters.end()));
                   });
  std::string aStar = a.string();
  for (auto& c : aStar) c = c == ' ' ? '*' : c;
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], "message El archivo est\xE1 siendo utilizado por otro proceso");
  // 8 bytes "12345678" as one word, plus the size 8.
  EXPECT_EQ(events[1], "start C:\\Apps\\X\\morvane.exe | 3837363534333239 " + aStar + " 42 top");
  EXPECT_EQ(events[2], "start C:\\Apps\\X\\morvane.exe | 0000000000000000 " + c.string() + " 42 top");
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
