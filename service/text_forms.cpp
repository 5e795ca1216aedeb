#include "text_forms.h"

std::string NarrowText(const std::wstring& text) {
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(static_cast<unsigned long>(text[i]) & 0xFF);
  }
  return out;
}
