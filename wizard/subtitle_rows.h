#pragma once

#include <algorithm>

// Where row `index` of the subtitle list stands inside its group box: the
// flag image at the flag template's place and the checkbox 2 pixels above
// its template's top, each row 20 pixels below the one before.
struct RowPlacement {
  int flagLeft, flagTop;
  int checkLeft, checkTop, checkWidth;
};

inline constexpr int kRowStep = 20;
inline constexpr int kRowHeight = 17;  // a row checkbox's height

inline RowPlacement SubtitleRowPlacement(int index) {
  constexpr int kFlagLeft = 16, kFlagTop = 32;           // ImgFlagSpanishBase
  constexpr int kCheckLeft = 38, kCheckTop = 30;         // ChckbxCorrespondenciaBase
  constexpr int kCheckWidth = 538;
  return {kFlagLeft, kFlagTop + kRowStep * index, kCheckLeft, kCheckTop + kRowStep * index - 2,
          kCheckWidth};
}

// The part of the group box (height 250) the rows are seen through, in the
// box's own coordinates: below its caption and above its lower frame line.
// The box does not grow; when the rows pass its lower edge (from the twelfth
// row on) they scroll inside it, keeping their places relative to one
// another, so every row can be reached.
inline constexpr int kRowsViewTop = 14;
inline constexpr int kRowsViewBottom = 248;
inline constexpr int kRowsBottomMargin = 2;  // below the last row

// How far the rows can scroll up: 0 while all of them fit.
inline int RowsScrollMaximum(int rowCount) {
  if (rowCount <= 0) return 0;
  const int bottom = SubtitleRowPlacement(rowCount - 1).checkTop + kRowHeight + kRowsBottomMargin;
  return std::max(0, bottom - kRowsViewBottom);
}

// The scroll offset (rows moved up by that many pixels) that keeps `offset`
// where row `index` is wholly seen, else the nearest one that shows it.
inline int RowsOffsetShowing(int index, int offset, int rowCount) {
  const RowPlacement place = SubtitleRowPlacement(index);
  const int top = place.checkTop - offset;
  const int bottom = top + kRowHeight;
  if (top < kRowsViewTop) offset -= kRowsViewTop - top;
  else if (bottom > kRowsViewBottom - kRowsBottomMargin) offset += bottom - (kRowsViewBottom - kRowsBottomMargin);
  return std::clamp(offset, 0, RowsScrollMaximum(rowCount));
}
