// The ANSI text forms through the system's code page.
#include <windows.h>

#include "code_page.h"
#include "text_forms.h"

std::wstring AnsiToText(const std::string& bytes) {
  return CodePageToWide(bytes.substr(0, bytes.find('\0')), CP_ACP);
}

std::string TextToAnsi(const std::wstring& text) { return WideToCodePage(text, CP_ACP); }
