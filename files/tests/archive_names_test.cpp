#include "archive_names.h"

#include <gtest/gtest.h>

namespace {

TEST(MakeRelativeName, StripsDrivesLeadingSeparatorsAndParentSteps) {
  const struct {
    const wchar_t* stored;
    const wchar_t* relative;
  } cases[] = {
      {L"C:\\temp\\x.srt", L"temp\\x.srt"},
      {L"/etc/../x.srt", L"x.srt"},
      {L"a\\..\\b/../c.srt", L"c.srt"},
      {L"sub/es.srt", L"sub/es.srt"},
      {L"\\\\server\\share\\x.srt", L"server\\share\\x.srt"},
      {L"C:C:/x.srt", L"x.srt"},
      {L"a/..\\b.srt", L"b.srt"},
      {L"a\\../b.srt", L"b.srt"},
      {L"../x.srt", L"../x.srt"},  // left for the containment check
      {L"a/../../x.srt", L"../x.srt"},
      {L"/", L""},
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakeRelativeName(c.stored), c.relative) << c.stored;
  }
}

TEST(IsContainedName, RefusesWhatWouldLeaveTheBaseOrReachADevice) {
  const struct {
    std::wstring name;
    bool contained;
  } cases[] = {
      {L"es.srt", true},
      {L"sub/es.srt", true},
      {L"sub\\deeper/es.srt", true},
      {L"sub/", true},
      {L"./es.srt", true},
      {L"CONSOLE.srt", true},
      {L"COM10.srt", true},
      {L"película ñ.srt", true},
      {L"", false},
      {L"../x.srt", false},
      {L"..\\x.srt", false},
      {L"sub/..", false},
      {L"sub\\..\\..", false},
      {L".../x.srt", false},
      {L". ./x.srt", false},
      {L"/x.srt", false},
      {L"\\x.srt", false},
      {L"CON", false},
      {L"con.srt", false},
      {L"sub/NUL.txt", false},
      {L"Aux .srt", false},
      {L"COM1", false},
      {L"lpt9.srt", false},
      {L"COM\u00B9.srt", false},
      {L"CONOUT$", false},
      {L"a.srt:stream", false},
      {L"sub/x:y.srt", false},
      {L"C:x.srt", false},
      {L"what?.srt", false},
      {L"a*.srt", false},
      {L"tab\t.srt", false},
      {std::wstring(L"nul\0x.srt", 9), false},
      {std::wstring(259, L'a'), true},
      {std::wstring(260, L'a'), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsContainedName(c.name), c.contained) << c.name.c_str();
  }
}

TEST(IsWritableAbsoluteName, AllowsDrivesButNotDevicesOrStreams) {
  EXPECT_TRUE(IsWritableAbsoluteName(L"C:\\Films\\x.srt"));
  EXPECT_TRUE(IsWritableAbsoluteName(L"/tmp/../x.srt"));
  EXPECT_FALSE(IsWritableAbsoluteName(L"C:\\Films\\NUL"));
  EXPECT_FALSE(IsWritableAbsoluteName(L"C:\\Films\\x.srt:hidden"));
  EXPECT_FALSE(IsWritableAbsoluteName(L"relative\\x.srt"));
  EXPECT_FALSE(IsWritableAbsoluteName(L"C:\\" + std::wstring(258, L'a')));
}

TEST(DecodeEntryName, ReadsUtf8AndReplacesBrokenSequences) {
  EXPECT_EQ(DecodeEntryName("pel\xC3\xAD"
                            "cula \xC3\xB1.srt"),
            L"película ñ.srt");
  EXPECT_EQ(DecodeEntryName("\xE2\x82\xAC"), L"\u20AC");
  EXPECT_EQ(DecodeEntryName("a\xFF"
                            "b"),
            L"a\uFFFDb");                                             // not a lead byte
  EXPECT_EQ(DecodeEntryName("a\xC3"), L"a\uFFFD");                    // cut short
  EXPECT_EQ(DecodeEntryName("\xC0\xAF"), L"\uFFFD\uFFFD");            // overlong "/"
  EXPECT_EQ(DecodeEntryName("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");  // a lone surrogate
  EXPECT_EQ(DecodeEntryName("\xE0\x80\xAF"), L"\uFFFD\uFFFD\uFFFD");  // overlong "/"
}

TEST(AttributesFromHost, FollowsTheHostThatMadeTheEntry) {
  const struct {
    uint16_t versionMadeBy;
    uint32_t external;
    uint32_t attributes;
  } cases[] = {
      {0x0014, 0x21, 0x21},                    // MS-DOS: read-only, archive
      {0x0014, 0x10, 0x10},                    // MS-DOS folder
      {0x0B14, 0x06, 0x06},                    // NTFS: hidden, system
      {0x0714, 0xFFFFFFC8u, 0x00},             // only the five bits count
      {0x0E14, 0x01, 0x01},                    // VFAT
      {0x0314, 0100644u << 16, 0x20},          // Unix rw-r--r--
      {0x0314, 0100444u << 16, 0x21},          // Unix r--r--r--
      {0x0314, (040755u << 16) | 0x10, 0x30},  // Unix folder
      {0x1314, 0x3F, 0x21},                    // other host: no owner-write bit
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AttributesFromHost(c.versionMadeBy, c.external), c.attributes)
        << std::hex << c.versionMadeBy << " " << c.external;
  }
}

TEST(DosDateTimeToCalendar, ReadsValidTimesAndRefusesImpossibleOnes) {
  auto dos = [](int year, int month, int day, int hour, int minute, int second) {
    return (static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day) << 16) |
           static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  };
  const auto t = DosDateTimeToCalendar(dos(2021, 3, 4, 5, 6, 8));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->year, 2021);
  EXPECT_EQ(t->month, 3);
  EXPECT_EQ(t->day, 4);
  EXPECT_EQ(t->hour, 5);
  EXPECT_EQ(t->minute, 6);
  EXPECT_EQ(t->second, 8);
  EXPECT_TRUE(DosDateTimeToCalendar(dos(2020, 2, 29, 23, 59, 58)));
  EXPECT_TRUE(DosDateTimeToCalendar(dos(2107, 12, 31, 0, 0, 0)));

  const uint32_t invalid[] = {
      dos(2021, 0, 4, 5, 6, 8),   // month 0
      dos(2021, 13, 4, 5, 6, 8),  // month 13
      dos(2021, 3, 0, 5, 6, 8),   // day 0
      dos(2021, 4, 31, 5, 6, 8),  // 31 April
      dos(2021, 2, 29, 5, 6, 8),  // 29 February, not a leap year
      dos(2100, 2, 29, 5, 6, 8),  // 2100 is no leap year either
      dos(2021, 3, 4, 24, 6, 8),  // hour 24
      dos(2021, 3, 4, 5, 60, 8),  // minute 60
      dos(2021, 3, 4, 5, 6, 60),  // second 60
      0u,
  };
  for (uint32_t value : invalid) {
    EXPECT_FALSE(DosDateTimeToCalendar(value)) << std::hex << value;
  }
}

std::vector<unsigned char> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::string Block(uint16_t id, const std::string& data) {
  std::string b;
  b += static_cast<char>(id & 0xFF);
  b += static_cast<char>(id >> 8);
  b += static_cast<char>(data.size() & 0xFF);
  b += static_cast<char>(data.size() >> 8);
  return b + data;
}

std::string Le32(int32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
  return s;
}

TEST(ReadExtendedTimes, FindsTheBlockAndReadsOnlyWhatLiesInside) {
  constexpr int64_t k1970 = 116444736000000000LL;
  {
    const auto field = Bytes(Block(0x5455, "\x01" + Le32(0)));
    const auto t = ReadExtendedTimes(field.data(), field.size());
    EXPECT_EQ(t.modification, k1970);
    EXPECT_FALSE(t.access);
    EXPECT_FALSE(t.creation);
  }
  {
    // After a 300-byte block, all three times in their order.
    const auto field = Bytes(Block(0xCAFE, std::string(300, 'x')) +
                             Block(0x5455, "\x07" + Le32(1) + Le32(-1) + Le32(1600000000)));
    const auto t = ReadExtendedTimes(field.data(), field.size());
    EXPECT_EQ(t.modification, k1970 + 10000000);
    EXPECT_EQ(t.access, k1970 - 10000000);
    EXPECT_EQ(t.creation, k1970 + 1600000000LL * 10000000);
  }
  {
    // Flags promise three values, the field holds one and a half.
    const auto field = Bytes(Block(0x5455, "\x07" + Le32(5) + "\x01\x02"));
    const auto t = ReadExtendedTimes(field.data(), field.size());
    EXPECT_EQ(t.modification, k1970 + 50000000);
    EXPECT_FALSE(t.access);
    EXPECT_FALSE(t.creation);
  }
  {
    // A block whose size runs past the field, and a field too short for a block.
    const auto field = Bytes("\xFE\xCA\xFF\xFF" + Block(0x5455, "\x01" + Le32(0)));
    EXPECT_FALSE(ReadExtendedTimes(field.data(), field.size()).modification);
    const auto tiny = Bytes("UT\x01\x00");
    EXPECT_FALSE(ReadExtendedTimes(tiny.data(), tiny.size()).modification);
    EXPECT_FALSE(ReadExtendedTimes(nullptr, 0).modification);
  }
}

}  // namespace
