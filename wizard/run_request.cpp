#include "run_request.h"

#include <limits>

#include "base64.h"
#include "text_forms.h"

namespace {

// An optional sign followed by decimal digits that fit in 32 bits, else the
// default code.
int32_t ParseLanguageCode(const std::wstring& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  if (i == text.size()) return kDefaultLanguageCode;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return kDefaultLanguageCode;
    value = value * 10 + (text[i] - L'0');
    if (value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) {
      return kDefaultLanguageCode;
    }
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return kDefaultLanguageCode;
  }
  return static_cast<int32_t>(value);
}

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L':'; }

}  // namespace

RunRequest ReadRunRequest(const std::wstring& fingerprint, const std::wstring& videoPath,
                          const std::wstring& languageCode, const std::wstring& modeWord) {
  RunRequest request;
  request.encodedFingerprint = EncodeBase64(NarrowText(fingerprint));

  // The extension writes every space of the path as "*", which no Windows
  // file name can hold.
  std::wstring path = videoPath;
  for (wchar_t& c : path) {
    if (c == L'*') c = L' ';
  }

  const size_t last = path.find_last_of(L"\\:");
  if (last == std::wstring::npos) {
    request.videoFileName = path;
    request.videoFolder = L"\\";
  } else {
    request.videoFileName = path.substr(last + 1);
    // Drop the folder's own final backslash unless it is a root's ("C:\",
    // "\\"): the folder then gets exactly one backslash appended.
    const bool dropBackslash = last > 0 && path[last] == L'\\' && !IsPathSeparator(path[last - 1]);
    request.videoFolder = path.substr(0, dropBackslash ? last : last + 1) + L"\\";
  }

  request.languageCode = ParseLanguageCode(languageCode);
  request.modeWord = NarrowText(modeWord);
  return request;
}

RunMode SelectRunMode(const std::string& modeWord) {
  if (modeWord == "top") return RunMode::List;
  if (modeWord == "melhor") return RunMode::Best;
  return RunMode::None;
}
