#include "context_menu_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "com_result.h"

TEST(MenuCommands, TableGivesTextsAndModeWords) {
  ASSERT_EQ(kMenuCommandCount, 2u);
  EXPECT_EQ(MenuCommands[0].command, CommandBestSubtitle);
  EXPECT_EQ(std::wstring(MenuCommands[0].menuText), L"Mejor subtítulo");
  EXPECT_EQ(std::wstring(MenuCommands[0].modeWord), L"melhor");
  EXPECT_EQ(MenuCommands[1].command, CommandTop10);
  EXPECT_EQ(std::wstring(MenuCommands[1].menuText), L"Top 10");
  EXPECT_EQ(std::wstring(MenuCommands[1].modeWord), L"top");
  EXPECT_EQ(std::wstring(kSubmenuText), L"Descargar Subtítulos");
}

TEST(AcceptsSelectionSize, OneToNinetyNineFiles) {
  EXPECT_FALSE(AcceptsSelectionSize(0));
  EXPECT_TRUE(AcceptsSelectionSize(1));
  EXPECT_TRUE(AcceptsSelectionSize(99));
  EXPECT_FALSE(AcceptsSelectionSize(100));
  EXPECT_FALSE(AcceptsSelectionSize(0xFFFFFFFFu));
}

TEST(DecideMenuOffer, VideoTestComesFirstThenDefaultOnlyThenTheIdentifierRange) {
  const struct {
    const wchar_t* lastPath;
    unsigned flags;
    unsigned first, last;
    MenuOffer offer;
  } cases[] = {
      {L"C:\\Films\\b.avi", 0x0, 100, 200, MenuOffer::Commands},
      {L"C:\\Films\\b.avi", 0x10, 100, 200, MenuOffer::Commands},  // other flags do not matter
      {L"C:\\Films\\b.avi", kQueryFlagDefaultOnly, 100, 200, MenuOffer::DefaultOnly},
      {L"C:\\Films\\b.avi", kQueryFlagDefaultOnly | 0x4, 100, 200, MenuOffer::DefaultOnly},
      {L"C:\\Films\\a.txt", 0x0, 100, 200, MenuOffer::NotAVideo},
      {L"C:\\Films\\a.txt", kQueryFlagDefaultOnly, 100, 200, MenuOffer::NotAVideo},
      {L"", 0x0, 100, 200, MenuOffer::NotAVideo},
      // The last identifier is included: two free identifiers are enough.
      {L"C:\\Films\\b.avi", 0x0, 100, 101, MenuOffer::Commands},
      {L"C:\\Films\\b.avi", 0x0, 100, 100, MenuOffer::NoRoom},
      {L"C:\\Films\\b.avi", 0x0, 100, 99, MenuOffer::NoRoom},
      {L"C:\\Films\\b.avi", 0x0, 0xFFFFFFFFu, 0xFFFFFFFFu, MenuOffer::NoRoom},
      {L"C:\\Films\\b.avi", 0x0, 0xFFFFFFFEu, 0xFFFFFFFFu, MenuOffer::Commands},
      {L"C:\\Films\\b.avi", 0x0, 1, 0, MenuOffer::NoRoom},
      {L"C:\\Films\\a.txt", 0x0, 100, 100, MenuOffer::NotAVideo},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecideMenuOffer(c.lastPath, c.flags, c.first, c.last), c.offer)
        << c.flags << " " << c.first << ".." << c.last;
  }
}

TEST(DecideMenuOffer, LayoutIsSeparatorSubmenuSeparator) {
  ASSERT_EQ(std::size(kTopMenuLayout), 3u);
  EXPECT_EQ(kTopMenuLayout[0], TopMenuItem::Separator);
  EXPECT_EQ(kTopMenuLayout[1], TopMenuItem::Submenu);
  EXPECT_EQ(kTopMenuLayout[2], TopMenuItem::Separator);
}

TEST(CommandFromVerb, OffsetsZeroAndOneOnly) {
  EXPECT_EQ(CommandFromVerb(0), CommandBestSubtitle);
  EXPECT_EQ(CommandFromVerb(1), CommandTop10);
  EXPECT_EQ(CommandFromVerb(2), std::nullopt);
  EXPECT_EQ(CommandFromVerb(0xFFFF), std::nullopt);
  // Addresses of verb texts: never read as offsets, even when their low
  // 16 bits are 0 or 1.
  EXPECT_EQ(CommandFromVerb(0x10000), std::nullopt);
  EXPECT_EQ(CommandFromVerb(0x12340001), std::nullopt);
}

TEST(DecideInvocation, ReadsTheVerbFieldTheCallerFilledIn) {
  constexpr std::uintptr_t kText = 0x00412340;  // the address of some verb text
  const struct {
    std::uint32_t mask;
    std::uintptr_t verb;
    std::optional<std::uintptr_t> verbW;
    std::optional<MenuCommand> command;
  } cases[] = {
      {0, 1, std::nullopt, CommandTop10},
      {0, 0, std::nullopt, CommandBestSubtitle},
      {0, kText, std::nullopt, std::nullopt},
      // The UTF-16 field counts only for Unicode callers...
      {0, 1, kText, CommandTop10},
      {0, 0, 1, CommandBestSubtitle},
      // ...whose structure holds it: a null 8-bit field is not offset 0.
      {kInvokeMaskUnicode, 0, kText, std::nullopt},
      {kInvokeMaskUnicode, kText, kText, std::nullopt},
      {kInvokeMaskUnicode, 0, 1, CommandTop10},
      {kInvokeMaskUnicode, 1, 1, CommandTop10},
      {kInvokeMaskUnicode, 0, 2, std::nullopt},
      {kInvokeMaskUnicode | kInvokeMaskNoUi, 0, 0, CommandBestSubtitle},
      // A Unicode flag on the short structure: only the 8-bit field exists.
      {kInvokeMaskUnicode, 1, std::nullopt, CommandTop10},
      {kInvokeMaskUnicode, kText, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const InvocationDecision decision = DecideInvocation({c.mask, c.verb, c.verbW});
    EXPECT_EQ(decision.command, c.command)
        << std::hex << c.mask << " " << c.verb << " " << c.verbW.value_or(0xdead);
    EXPECT_EQ(decision.showUi, (c.mask & kInvokeMaskNoUi) == 0);
  }
}

TEST(ResultFromWin32Error, MapsIntoTheWin32Facility) {
  EXPECT_EQ(ResultFromWin32Error(0), 0);
  EXPECT_EQ(static_cast<uint32_t>(ResultFromWin32Error(2)), 0x80070002u);
  EXPECT_EQ(static_cast<uint32_t>(ResultFromWin32Error(122)), 0x8007007Au);
  EXPECT_EQ(static_cast<uint32_t>(ResultFromWin32Error(1400)), 0x80070578u);
  EXPECT_EQ(static_cast<uint32_t>(ResultFromWin32Error(0x12345)), 0x80072345u);
  EXPECT_EQ(ResultFromWin32Error(-5), -5);
  EXPECT_EQ(static_cast<uint32_t>(ResultFromWin32Error(static_cast<int32_t>(0x80004005u))),
            0x80004005u);
}
