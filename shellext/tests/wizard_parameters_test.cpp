#include "wizard_parameters.h"

#include <gtest/gtest.h>

namespace {

const std::string kFingerprint = "0123456789abcdef";

}  // namespace

TEST(ComposeWizardParameters, FingerprintPathLanguageAndModeWord) {
  const struct {
    const wchar_t* path;
    MenuCommand command;
    const wchar_t* parameters;
  } cases[] = {
      {L"C:\\My Videos\\a b.avi", CommandBestSubtitle,
       L"0123456789abcdef C:\\My*Videos\\a*b.avi 42 melhor"},
      {L"C:\\My Videos\\a b.avi", CommandTop10, L"0123456789abcdef C:\\My*Videos\\a*b.avi 42 top"},
      {L"C:\\Películas\\x.avi", CommandTop10, L"0123456789abcdef C:\\Películas\\x.avi 42 top"},
      // Characters of every script stay as they are.
      {L"C:\\\u6620\u753b\\\u7b2c\u4e00 \u8a71.mkv", CommandBestSubtitle,
       L"0123456789abcdef C:\\\u6620\u753b\\\u7b2c\u4e00*\u8a71.mkv 42 melhor"},
      {L"  lead and trail  ", CommandTop10, L"0123456789abcdef **lead*and*trail** 42 top"},
      {L"\\\\server\\share\\x.avi", CommandTop10, L"0123456789abcdef \\\\server\\share\\x.avi 42 top"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComposeWizardParameters(kFingerprint, c.path, c.command), c.parameters);
  }
}

TEST(PlanWizardRuns, OneRunPerOpenedFileInSelectionOrder) {
  const std::vector<std::wstring> paths = {L"C:\\a.txt", L"C:\\locked.avi", L"C:\\b c.avi"};
  const std::vector<std::string> fingerprints = {"000000000000000a", "", "00000000000000bc"};
  EXPECT_EQ(PlanWizardRuns(paths, fingerprints, CommandTop10),
            (std::vector<std::wstring>{L"000000000000000a C:\\a.txt 42 top",
                                       L"00000000000000bc C:\\b*c.avi 42 top"}));
  EXPECT_TRUE(PlanWizardRuns(paths, {"", "", ""}, CommandBestSubtitle).empty());
  EXPECT_TRUE(PlanWizardRuns({}, {}, CommandBestSubtitle).empty());
}

TEST(ModuleDirectoryFromFilePath, KeepsTheFolderWithItsBackslash) {
  const struct {
    const wchar_t* module;
    const wchar_t* directory;
  } cases[] = {
      {L"C:\\Apps\\X\\Corvelle.dll", L"C:\\Apps\\X\\"},
      {L"C:\\Corvelle.dll", L"C:\\"},
      {L"\\\\server\\share\\Corvelle.dll", L"\\\\server\\share\\"},
      {L"C:\\Programas de vídeo\\\u5b57\u5e55\\Corvelle.dll", L"C:\\Programas de vídeo\\\u5b57\u5e55\\"},
      {L"Corvelle.dll", L""},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(ModuleDirectoryFromFilePath(c.module), c.directory);
}

TEST(WizardProgramPathIn, JoinsWithExactlyOneBackslash) {
  EXPECT_EQ(WizardProgramPathIn(L"C:\\Apps\\X\\"), L"C:\\Apps\\X\\morvane.exe");
  EXPECT_EQ(WizardProgramPathIn(L"C:\\Apps\\X"), L"C:\\Apps\\X\\morvane.exe");
  EXPECT_EQ(WizardProgramPathIn(L"C:\\"), L"C:\\morvane.exe");
  EXPECT_EQ(WizardProgramPathIn(L""), L"\\morvane.exe");
}
