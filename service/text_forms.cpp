#include "text_forms.h"

namespace {

// Characters of the bytes 0x80 to 0x9F; the rest of Windows-1252 equals
// ISO-8859-1 and thus the first 256 Unicode characters.
const wchar_t kHighControlRange[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

wchar_t Windows1252Char(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControlRange[byte - 0x80];
  return static_cast<wchar_t>(byte);
}

char Windows1252Byte(wchar_t c) {
  const unsigned long code = static_cast<unsigned long>(c);
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (static_cast<unsigned long>(kHighControlRange[i]) == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string NarrowText(const std::wstring& text) {
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(static_cast<unsigned long>(text[i]) & 0xFF);
  }
  return out;
}

std::wstring Windows1252ToText(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (char byte : bytes) out.push_back(Windows1252Char(static_cast<unsigned char>(byte)));
  return out;
}

std::string TextToWindows1252(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out.push_back(Windows1252Byte(c));
  return out;
}
