#include <windows.h>

#include <gtest/gtest.h>

#include "text_forms.h"

namespace {

// The tests run where the ANSI code page is Windows-1252, as the service's
// values assume; the system's conversion then agrees with the program's own
// table byte for byte.
TEST(AnsiCodePage, IsWindows1252AndMatchesTheTable) {
  ASSERT_EQ(GetACP(), 1252u);
  for (int byte = 1; byte < 256; ++byte) {
    const std::string bytes(1, static_cast<char>(byte));
    EXPECT_EQ(AnsiToText(bytes), Windows1252ToText(bytes)) << byte;
    EXPECT_EQ(TextToAnsi(Windows1252ToText(bytes)), bytes) << byte;
  }
  EXPECT_EQ(AnsiToText(std::string("\xE9\0\xE9", 3)), L"\u00e9");
}

TEST(AnsiCodePage, NarrowingCutsEachHalfOfASurrogatePair) {
  // U+1F600 is the two UTF-16 units D83D DE00.
  EXPECT_EQ(NarrowText(L"a\U0001F600b"), std::string("a\x3D\x00" "b", 4));
}

}  // namespace
