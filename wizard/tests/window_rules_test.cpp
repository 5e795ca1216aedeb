#include <gtest/gtest.h>

#include "control_text.h"
#include "subtitle_rows.h"

namespace {

TEST(LiteralControlCaption, DoublesEveryAmpersandAndNothingElse) {
  struct Case {
    const wchar_t* text;
    const wchar_t* caption;
  } cases[] = {
      {L"", L""},
      {L"Tom & Jerry", L"Tom && Jerry"},
      {L"&&", L"&&&&"},
      {L"A&B&", L"A&&B&&"},
      {L"Película sin y", L"Película sin y"},
  };
  for (const auto& c : cases) EXPECT_EQ(LiteralControlCaption(c.text), c.caption) << c.text;
}

TEST(RowsScroll, ScrollsOnlyOnceARowPassesTheBoxsLowerEdge) {
  EXPECT_EQ(RowsScrollMaximum(0), 0);
  EXPECT_EQ(RowsScrollMaximum(11), 0);  // the eleventh row ends at 245
  // The twelfth row's checkbox starts at 248, on the box's lower edge.
  EXPECT_GT(RowsScrollMaximum(12), 0);
  EXPECT_EQ(RowsScrollMaximum(13) - RowsScrollMaximum(12), kRowStep);
  // Scrolled to the end, the last row lies wholly inside the box.
  for (int count : {12, 20, 300}) {
    const int bottom = SubtitleRowPlacement(count - 1).checkTop + kRowHeight - RowsScrollMaximum(count);
    EXPECT_LE(bottom, kRowsViewBottom) << count;
    EXPECT_GT(bottom, kRowsViewBottom - kRowStep) << count;
  }
}

TEST(RowsScroll, TheOffsetShowingARowMovesAsLittleAsItCan) {
  const int rows = 20;
  const int last = RowsScrollMaximum(rows);
  struct Case {
    int index, offset, expected;
  } cases[] = {
      {0, 0, 0},            // in view: unchanged
      {5, 40, 40},
      {19, 0, last},        // below: scrolled until it is seen whole
      {12, 0, RowsScrollMaximum(13)},
      {0, last, SubtitleRowPlacement(0).checkTop - kRowsViewTop},  // above: down to it
      {3, last, SubtitleRowPlacement(3).checkTop - kRowsViewTop},
  };
  for (const auto& c : cases) {
    const int offset = RowsOffsetShowing(c.index, c.offset, rows);
    EXPECT_EQ(offset, c.expected) << c.index << " from " << c.offset;
    const int top = SubtitleRowPlacement(c.index).checkTop - offset;
    EXPECT_GE(top, kRowsViewTop) << c.index;
    EXPECT_LE(top + kRowHeight, kRowsViewBottom) << c.index;
  }
}

}  // namespace
