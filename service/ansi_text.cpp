// The ANSI text forms where no system code page exists: Windows-1252.
#include "text_forms.h"

std::wstring AnsiToText(const std::string& bytes) {
  return Windows1252ToText(bytes.substr(0, bytes.find('\0')));
}

std::string TextToAnsi(const std::wstring& text) { return TextToWindows1252(text); }
