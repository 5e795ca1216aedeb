#pragma once

#include <windows.h>

#include <string>

#include "unique_resource.h"

// Decodes JPEG bytes into a bitmap; empty when the bytes are no JPEG image.
// COM must be initialised on the thread.
UniqueBitmap DecodeJpeg(const std::string& bytes);
