#include "run_request.h"

#include <gtest/gtest.h>

namespace {

TEST(ReadRunRequest, ReadsTheExtensionsArguments) {
  const RunRequest r =
      ReadRunRequest(L"0123456789abcdef", L"C:\\Mis*Videos\\La*Pelicula.avi", L"42", L"melhor");
  EXPECT_EQ(r.encodedFingerprint, "MDEyMzQ1Njc4OWFiY2RlZg==");
  EXPECT_EQ(r.videoFolder, L"C:\\Mis Videos\\");
  EXPECT_EQ(r.videoFileName, L"La Pelicula.avi");
  EXPECT_EQ(r.languageCode, 42);
  EXPECT_EQ(r.modeWord, "melhor");
}

TEST(ReadRunRequest, SplitsThePathIntoFolderAndName) {
  struct Case {
    std::wstring path, folder, name;
  } cases[] = {
      {L"C:\\Film.avi", L"C:\\\\", L"Film.avi"},  // a root keeps its backslash
      {L"Film.avi", L"\\", L"Film.avi"},
      {L"", L"\\", L""},
      {L"C:Film.avi", L"C:\\", L"Film.avi"},
      {L"C:\\a b\\c*d.mkv", L"C:\\a b\\", L"c d.mkv"},  // spaces stay, "*" become spaces
      {L"\\\\server\\share\\v.avi", L"\\\\server\\share\\", L"v.avi"},
      {L"C:\\dir\\", L"C:\\dir\\", L""},
      {L"C:\\dir\\\\x.avi", L"C:\\dir\\\\\\", L"x.avi"},  // a doubled backslash is kept
  };
  for (const auto& c : cases) {
    const RunRequest r = ReadRunRequest(L"", c.path, L"", L"");
    EXPECT_EQ(r.videoFolder, c.folder) << c.path.size();
    EXPECT_EQ(r.videoFileName, c.name) << c.path.size();
  }
}

TEST(ReadRunRequest, ReadsTheLanguageCodeOrFallsBackToSix) {
  struct Case {
    std::wstring text;
    int32_t code;
  } cases[] = {
      {L"42", 42},          {L"-3", -3},         {L"+7", 7},
      {L"", 6},             {L"abc", 6},         {L"4x", 6},
      {L" 4", 6},           {L"-", 6},           {L"2147483647", 2147483647},
      {L"-2147483648", -2147483647 - 1},         {L"2147483648", 6},
      {L"-2147483649", 6},  {L"99999999999999999999", 6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadRunRequest(L"", L"", c.text, L"").languageCode, c.code) << c.code;
  }
}

TEST(ReadRunRequest, NarrowsFingerprintAndModeWord) {
  const RunRequest r = ReadRunRequest(L"", L"", L"", std::wstring(1, wchar_t(0x0141)) + L"op");
  EXPECT_EQ(r.encodedFingerprint, "");
  EXPECT_EQ(r.modeWord, "\x41op");
  // A code unit above 255 keeps only its low byte before encoding.
  EXPECT_EQ(ReadRunRequest(std::wstring(1, wchar_t(0x0161)), L"", L"", L"").encodedFingerprint, "YQ==");
}

TEST(SelectRunMode, IsExactAndCaseSensitive) {
  struct Case {
    const char* word;
    RunMode mode;
  } cases[] = {
      {"top", RunMode::List}, {"melhor", RunMode::Best}, {"Top", RunMode::None},
      {"TOP", RunMode::None}, {"MELHOR", RunMode::None}, {"list", RunMode::None},
      {"", RunMode::None},    {"top ", RunMode::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SelectRunMode(c.word), c.mode) << c.word;
  }
}

}  // namespace
