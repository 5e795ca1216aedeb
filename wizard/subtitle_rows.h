#pragma once

// Where row `index` of the subtitle list stands inside its group box: the
// flag image at the flag template's place and the checkbox 2 pixels above
// its template's top, each row 20 pixels below the one before. The box
// neither grows nor scrolls, so rows from the twelfth on lie beyond its edge.
struct RowPlacement {
  int flagLeft, flagTop;
  int checkLeft, checkTop, checkWidth;
};

inline RowPlacement SubtitleRowPlacement(int index) {
  constexpr int kStep = 20;
  constexpr int kFlagLeft = 16, kFlagTop = 32;           // ImgFlagSpanishBase
  constexpr int kCheckLeft = 38, kCheckTop = 30;         // ChckbxCorrespondenciaBase
  constexpr int kCheckWidth = 538;
  return {kFlagLeft, kFlagTop + kStep * index, kCheckLeft, kCheckTop + kStep * index - 2,
          kCheckWidth};
}
