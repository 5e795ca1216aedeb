#pragma once

#include <windows.h>

#include <string>

// The shape of MessageBoxA, so tests can watch the message without a window.
using MessageBoxAFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);

// Opens the file read-only (others may still read and write it), computes
// its fingerprint and returns the 16-digit text. When the file cannot be
// opened, shows "El archivo está siendo utilizado por otro proceso" owned by
// `owner` and returns the empty text.
std::string VideoFingerprintText(HWND owner, const std::wstring& path,
                                 MessageBoxAFunction showMessage = ::MessageBoxA);
