#include "drop_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A drop list as the shell builds it: the header, then each name and its
// zero in UTF-16, then the empty name. `gap` bytes lie between the header
// and the names.
Bytes WideBlock(const std::vector<std::u16string>& names, size_t gap = 0) {
  Bytes bytes(20 + gap, 0);
  Put32(bytes, 0, static_cast<uint32_t>(20 + gap));
  Put32(bytes, 16, 1);
  auto unit = [&](char16_t c) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  };
  for (const auto& name : names) {
    for (char16_t c : name) unit(c);
    unit(0);
  }
  unit(0);
  return bytes;
}

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

TEST(ReadDropList, ReadsEveryNameOfAWideList) {
  const std::vector<std::u16string> names = {u"C:\\Películas\\a b.avi", u"C:\\x\\\u4E2D.mkv",
                                             u"\\\\server\\share\\c.mp4"};
  for (size_t gap : {0, 6}) {
    const Bytes block = WideBlock(names, gap);
    const DropList list = ReadDropList(block.data(), block.size(), 99);
    ASSERT_EQ(list.form, DropList::Form::Wide) << gap;
    ASSERT_EQ(list.names.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(list.names[i], Wide(names[i]));
    EXPECT_FALSE(list.moreNames);
  }
  const Bytes empty = WideBlock({});
  const DropList none = ReadDropList(empty.data(), empty.size(), 99);
  EXPECT_EQ(none.form, DropList::Form::Wide);
  EXPECT_TRUE(none.names.empty());
}

TEST(ReadDropList, StopsAfterTheMostNamesAskedFor) {
  std::vector<std::u16string> names;
  for (int i = 0; i < 100; ++i) names.push_back(u"C:\\f" + std::u16string(1, u'0' + i % 10) + u".avi");
  const Bytes hundred = WideBlock(names);
  const DropList tooMany = ReadDropList(hundred.data(), hundred.size(), 99);
  EXPECT_EQ(tooMany.form, DropList::Form::Wide);
  EXPECT_EQ(tooMany.names.size(), 99u);
  EXPECT_TRUE(tooMany.moreNames);

  names.pop_back();
  const Bytes ninetyNine = WideBlock(names);
  const DropList all = ReadDropList(ninetyNine.data(), ninetyNine.size(), 99);
  EXPECT_EQ(all.names.size(), 99u);
  EXPECT_FALSE(all.moreNames);
}

TEST(ReadDropList, LeavesEightBitListsToThePlatform) {
  Bytes block = WideBlock({u"C:\\a.avi"});
  Put32(block, 16, 0);
  EXPECT_EQ(ReadDropList(block.data(), block.size(), 99).form, DropList::Form::Narrow);
}

TEST(ReadDropList, NeverReadsPastTheBlock) {
  const Bytes good = WideBlock({u"C:\\a.avi", u"C:\\b.avi"});
  Bytes offsetInHeader = good;
  Put32(offsetInHeader, 0, 12);
  Bytes offsetPastEnd = good;
  Put32(offsetPastEnd, 0, static_cast<uint32_t>(good.size()));
  Bytes hugeOffset = good;
  Put32(hugeOffset, 0, 0xFFFFFFF0u);
  const struct {
    const char* what;
    Bytes block;
    size_t size;
  } cases[] = {
      {"shorter than the header", good, 19},
      {"names offset inside the header", offsetInHeader, good.size()},
      {"names offset at the end", offsetPastEnd, good.size()},
      {"names offset far outside", hugeOffset, good.size()},
      {"no empty name at the end", good, good.size() - 2},
      {"last name cut off", good, good.size() - 4},
      {"last name cut mid-unit", good, good.size() - 5},
  };
  for (const auto& c : cases) {
    // Only the first `size` bytes are the block: a copy of that length lets
    // the sanitizers see any read past it.
    const Bytes block(c.block.begin(), c.block.begin() + static_cast<std::ptrdiff_t>(c.size));
    const DropList list = ReadDropList(block.data(), block.size(), 99);
    EXPECT_EQ(list.form, DropList::Form::Damaged) << c.what;
    EXPECT_TRUE(list.names.empty()) << c.what;
  }
  EXPECT_EQ(ReadDropList(nullptr, 0, 99).form, DropList::Form::Damaged);
}

}  // namespace
