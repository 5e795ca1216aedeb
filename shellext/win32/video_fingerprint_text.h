#pragma once

#include <windows.h>

#include <string>

// The shapes of MessageBoxA and CreateFileW, so tests can watch the message
// without a window and see the path the file is opened by.
using MessageBoxAFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
using CreateFileWFunction = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                            DWORD, HANDLE);

// Opens the file read-only (others may still read and write it), computes
// its fingerprint and returns the 16-digit text. A path too long for the
// classic limit is opened in its extended-length form. When the file cannot
// be opened, shows "El archivo está siendo utilizado por otro proceso" owned
// by `owner` (nothing when `showMessage` is null) and returns the empty text.
std::string VideoFingerprintText(HWND owner, const std::wstring& path,
                                 MessageBoxAFunction showMessage = ::MessageBoxA,
                                 CreateFileWFunction openFile = ::CreateFileW);
