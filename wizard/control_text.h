#pragma once

#include <string>

// Buttons and checkboxes read a single "&" in their caption as the mark of
// an underlined access key. A name from the service is shown as it is: each
// "&" is doubled, which such a control shows as one "&".
inline std::wstring LiteralControlCaption(const std::wstring& text) {
  std::wstring caption;
  caption.reserve(text.size());
  for (wchar_t c : text) {
    caption += c;
    if (c == L'&') caption += L'&';
  }
  return caption;
}
