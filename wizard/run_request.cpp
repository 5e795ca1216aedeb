#include "run_request.h"

#include "base64.h"
#include "decimal_text.h"
#include "text_forms.h"

namespace {

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

  request.languageCode = ParseDecimalInt32(languageCode).value_or(kDefaultLanguageCode);
  request.modeWord = NarrowText(modeWord);
  return request;
}

RunMode SelectRunMode(const std::string& modeWord) {
  if (modeWord == "top") return RunMode::List;
  if (modeWord == "melhor") return RunMode::Best;
  return RunMode::None;
}
