#include "app_icon.h"

#include <cstdint>

HICON CreateAppIcon() {
  constexpr int kSize = 16;
  uint32_t pixels[kSize * kSize];
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const bool border = x == 0 || y == 0 || x == kSize - 1 || y == kSize - 1;
      const bool line = (y == 9 || y == 12) && x >= 3 && x <= 12 && !(y == 12 && x > 9);
      uint32_t colour = 0x2F6FD0;                // blue page
      if (border) colour = 0x1B3F7A;             // darker edge
      if (line) colour = 0xFFFFFF;               // subtitle lines
      pixels[y * kSize + x] = 0xFF000000 | colour;
    }
  }
  HBITMAP colour = CreateBitmap(kSize, kSize, 1, 32, pixels);
  HBITMAP mask = CreateBitmap(kSize, kSize, 1, 1, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, mask);
  PatBlt(dc, 0, 0, kSize, kSize, BLACKNESS);  // every pixel opaque
  SelectObject(dc, old);
  DeleteDC(dc);

  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(colour);
  DeleteObject(mask);
  return icon;
}
