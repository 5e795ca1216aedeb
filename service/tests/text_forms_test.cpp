#include "text_forms.h"

#include <gtest/gtest.h>

namespace {

TEST(NarrowText, KeepsTheLowByteOfEachUnit) {
  EXPECT_EQ(NarrowText(L""), "");
  EXPECT_EQ(NarrowText(L"0123456789abcdef"), "0123456789abcdef");
  // é stays E9; Ł (U+0141) and € (U+20AC) lose their high byte.
  EXPECT_EQ(NarrowText(L"\u00e9\u0141\u20ac"), std::string("\xE9\x41\xAC"));
}

// Every byte and the character the ANSI code page (Windows-1252 here and
// under Wine's default locale) gives it.
struct AnsiCase {
  std::string bytes;
  std::wstring text;
};

TEST(AnsiText, ReadsBytesInTheAnsiCodePageUpToTheFirstZero) {
  const AnsiCase cases[] = {
      {"", L""},
      {"Casablanca", L"Casablanca"},
      {"\xE9", L"\u00e9"},
      {"Pel\xED" "cula \x80 \x9F", L"Pel\u00edcula \u20ac \u0178"},
      {std::string("ab\0cd", 5), L"ab"},
      {std::string("\0cd", 3), L""},
  };
  for (const auto& c : cases) EXPECT_EQ(AnsiToText(c.bytes), c.text) << c.bytes;
}

TEST(AnsiText, WritesTextAsAnsiBytes) {
  EXPECT_EQ(TextToAnsi(L"version=100&hash=MDEy=="), "version=100&hash=MDEy==");
  EXPECT_EQ(TextToAnsi(L"Subt\u00edtulos \u20ac\u0178"), "Subt\xEDtulos \x80\x9F");
  // A character outside the code page cannot travel as itself.
  EXPECT_NE(TextToAnsi(L"\u4e2d"), "\xE4");
  EXPECT_EQ(TextToAnsi(L"\u4e2d").size(), 1u);
}

TEST(Windows1252, EveryByteGoesThereAndBack) {
  for (int byte = 1; byte < 256; ++byte) {
    const std::string bytes(1, static_cast<char>(byte));
    const std::wstring text = Windows1252ToText(bytes);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(TextToWindows1252(text), bytes) << byte;
  }
  EXPECT_EQ(Windows1252ToText("\x81\x8D\x8F\x90\x9D"), L"\u0081\u008d\u008f\u0090\u009d");
  EXPECT_EQ(TextToWindows1252(L"\u4e2d\u0100"), "??");
}

}  // namespace
