#pragma once

#include <string>

// The text forms used around the service: UTF-16 for everything shown,
// 8-bit text for what travels, and the system's 8-bit (ANSI) code page
// between the two.

// Cuts each UTF-16 code unit to its low 8 bits: the 8-bit form in which
// texts travel to the service.
std::string NarrowText(const std::wstring& text);

// Reads 8-bit text in the system's ANSI code page. The text ends at its
// first zero byte. On Windows the code page is the system's (CP_ACP);
// elsewhere it is Windows-1252.
std::wstring AnsiToText(const std::string& bytes);

// Writes UTF-16 text as bytes in the system's ANSI code page, the form in
// which request bodies are sent; a character the code page lacks becomes
// "?" (or the platform's closest match).
std::string TextToAnsi(const std::wstring& text);

// Windows-1252 in both directions, from the program's own table: the ANSI
// code page of builds that have no system code page. The five bytes the code
// page leaves undefined map to the control characters of the same value, as
// Windows maps them.
std::wstring Windows1252ToText(const std::string& bytes);
std::string TextToWindows1252(const std::wstring& text);
