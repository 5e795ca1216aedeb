#include "server_text.h"

#include <algorithm>
#include <cctype>

#include "base64.h"
#include "text_forms.h"

namespace {

// UTF-8 to code points; nothing for malformed input (overlong forms,
// surrogates and values past U+10FFFF included).
std::optional<std::wstring> DecodeUtf8(const std::string& utf8) {
  std::wstring out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    size_t length = 0;
    unsigned long code = 0;
    if (lead < 0x80) {
      length = 1, code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07;
    } else {
      return std::nullopt;
    }
    if (i + length > utf8.size()) return std::nullopt;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return std::nullopt;
    }
    out.push_back(static_cast<wchar_t>(code));
    i += length;
  }
  return out;
}

std::string EncodeUtf8(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    const unsigned long code = static_cast<unsigned long>(c);
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::optional<std::string> Utf8ToWindows1252(const std::string& utf8) {
  const auto text = DecodeUtf8(utf8);
  if (!text) return std::nullopt;
  std::string bytes = TextToWindows1252(*text);
  // TextToWindows1252 writes "?" for what it cannot hold: tell those apart
  // from question marks of the text itself.
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '?' && (*text)[i] != L'?') return std::nullopt;
  }
  return bytes;
}

std::string Windows1252ToUtf8(const std::string& bytes) {
  return EncodeUtf8(Windows1252ToText(bytes));
}

std::string ReplyValue(const std::string& utf8) {
  const auto text = DecodeUtf8(utf8);
  return EncodeBase64(text ? TextToWindows1252(*text) : utf8);
}

std::string SafeEntryName(const std::string& name) {
  std::string safe = name.substr(name.find_last_of("/\\") == std::string::npos
                                     ? 0
                                     : name.find_last_of("/\\") + 1);
  for (char& c : safe) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::string("<>:\"|?*").find(c) != std::string::npos) {
      c = '_';
    }
  }
  // Cut to 100 bytes without splitting a UTF-8 sequence.
  if (safe.size() > 100) {
    size_t cut = 100;
    while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) --cut;
    safe.resize(cut);
  }
  while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.pop_back();
  while (!safe.empty() && safe.front() == ' ') safe.erase(0, 1);
  // The wizard takes any entry holding ".url" for a shortcut and any holding
  // ".jpg" for a poster: break those up.
  std::string lower = Lowered(safe);
  for (const std::string kind : {".url", ".jpg"}) {
    for (size_t at; (at = lower.find(kind)) != std::string::npos;) safe[at] = lower[at] = '_';
  }
  // A device name stays one with any extension ("nul.srt"): prefix it.
  std::string stem = Lowered(safe.substr(0, safe.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  bool device = std::find_if(std::begin(kDevices), std::end(kDevices),
                             [&](const char* d) { return stem == d; }) != std::end(kDevices);
  if (stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) &&
      std::isdigit(static_cast<unsigned char>(stem[3]))) {
    device = true;
  }
  if (device) safe = "_" + safe;
  if (safe.empty() || safe.find_first_not_of("._ ") == std::string::npos) return "subtitle.srt";
  return safe;
}
