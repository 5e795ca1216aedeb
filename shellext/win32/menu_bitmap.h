#pragma once

#include <windows.h>

// Resource identifier of the menu bitmap (the flag drawn beside the items).
inline constexpr WORD kMenuBitmapResource = 101;

// The flag, loaded from the module at the first menu and kept until the
// module is unloaded: every menu of the process draws the same picture, and
// loading it again for each right-click cost more than the rest of the
// handler's work together. Null when it cannot be loaded (the items then
// go without it). Safe to call from several threads at once.
HBITMAP MenuBitmap();

// Deletes the flag; for the module's unloading, when no menu of the
// module's handlers can be left.
void ReleaseMenuBitmap();
