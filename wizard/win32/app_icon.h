#pragma once

#include <windows.h>

// The program's small icon (16 x 16): a blue page with two white subtitle
// lines. The caller owns it (DestroyIcon).
HICON CreateAppIcon();
