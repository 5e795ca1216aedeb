#include "form_bodies.h"

#include <initializer_list>

#include "base64.h"
#include "service_endpoints.h"
#include "text_forms.h"

namespace {

std::wstring JoinPieces(std::initializer_list<std::wstring> pieces) {
  std::wstring body = L"version=" + std::to_wstring(kServiceProtocolVersion);
  for (const auto& piece : pieces) body += piece;
  return body;
}

}  // namespace

std::wstring EncodeServiceValue(const std::wstring& value) {
  return AnsiToText(EncodeBase64(NarrowText(value)));
}

std::wstring MovieLookupBody(const std::string& encodedFingerprint) {
  return JoinPieces({L"&response=xml&hash=", AnsiToText(encodedFingerprint)});
}

std::wstring BestSubtitleLookupBody(int32_t languageCode, const std::string& encodedFingerprint) {
  return JoinPieces({L"&response=xml&cod_language=", std::to_wstring(languageCode), L"&hash=",
                     AnsiToText(encodedFingerprint)});
}

std::wstring SubtitleListBody(int32_t languageCode, const std::string& encodedFingerprint) {
  return BestSubtitleLookupBody(languageCode, encodedFingerprint);
}

std::wstring SingleFileBody(const std::wstring& identifier, const std::wstring& date) {
  return JoinPieces({L"&response=single&cod_bsplayer=", EncodeServiceValue(identifier),
                     L"&post_date=", EncodeServiceValue(date)});
}

std::wstring MultipleFilesBody(const std::string& filmIdentifier, const std::wstring& poster,
                               const std::wstring& subtitlesXml) {
  return JoinPieces({L"&response=multiple&imdb=", AnsiToText(filmIdentifier), L"&poster=", poster,
                     L"&subtitles=", subtitlesXml});
}
