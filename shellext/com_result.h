#pragma once

#include <cstdint>

// A Win32 error code as a result code of the Win32 facility: 0 and negative
// values stay as they are, a positive code e becomes 0x80070000 | (e & 0xFFFF).
constexpr int32_t ResultFromWin32Error(int32_t error) {
  if (error <= 0) return error;
  return static_cast<int32_t>(0x80070000u | (static_cast<uint32_t>(error) & 0xFFFFu));
}
