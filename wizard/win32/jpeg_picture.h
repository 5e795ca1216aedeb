#pragma once

#include <windows.h>

#include <string>

// Decodes JPEG bytes into a bitmap the caller owns (DeleteObject); null when
// the bytes are no JPEG image. COM must be initialised on the thread.
HBITMAP DecodeJpeg(const std::string& bytes);
