#include "command_line.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::wstring>;

TEST(SplitCommandLine, FollowsThePlatformsSimpleRule) {
  struct Case {
    std::wstring line;
    Args args;
  } cases[] = {
      {L"", {}},
      {L"   \t ", {}},
      {L"Morvane.exe", {L"Morvane.exe"}},
      {L"\"C:\\Program Files\\Morvane.exe\" a b", {L"C:\\Program Files\\Morvane.exe", L"a", L"b"}},
      {L"m.exe 0123456789abcdef C:\\Mis*Videos\\La*Pelicula.avi 42 melhor",
       {L"m.exe", L"0123456789abcdef", L"C:\\Mis*Videos\\La*Pelicula.avi", L"42", L"melhor"}},
      {L"m.exe   a\t\tb\r\nc", {L"m.exe", L"a", L"b", L"c"}},
      {L"m.exe \"C:\\a b\\c.avi\"", {L"m.exe", L"C:\\a b\\c.avi"}},
      {L"m.exe ab\"c d\"ef g", {L"m.exe", L"abc def", L"g"}},  // quotes inside an argument
      {L"m.exe \"\" x", {L"m.exe", L"", L"x"}},                // an empty quoted argument
      {L"m.exe C:\\dir\\\" x", {L"m.exe", L"C:\\dir\\ x"}},    // backslash is no escape
      {L"m.exe \"unterminated stretch", {L"m.exe", L"unterminated stretch"}},
      {std::wstring(L"m.exe a") + wchar_t(1) + L"b" + wchar_t(32) + L"c" + wchar_t(33),
       {L"m.exe", L"a", L"b", L"c!"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line.size();
  }
}

}  // namespace
