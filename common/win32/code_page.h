#pragma once

#include <windows.h>

#include <string>

// UTF-16 text as 8-bit text in the given code page (CP_ACP for the system's).
std::string WideToCodePage(const std::wstring& text, UINT codePage);

// 8-bit text in the given code page as UTF-16 text.
std::wstring CodePageToWide(const std::string& text, UINT codePage);
