#pragma once

#include <cstdint>
#include <string>

// The form bodies of the service's POST requests, each built as one text:
// fixed pieces and values joined in a fixed order, values inserted verbatim
// (no percent-encoding, not even of "+", "/", "=", "&" or "<"). Every body
// starts with "version=100". SendServiceRequest turns the text into ANSI
// bytes.

// Film lookup: version=100&response=xml&hash=<encoded fingerprint>
std::wstring MovieLookupBody(const std::string& encodedFingerprint);

// Best-subtitle lookup:
// version=100&response=xml&cod_language=<code>&hash=<encoded fingerprint>
std::wstring BestSubtitleLookupBody(int32_t languageCode, const std::string& encodedFingerprint);

// Subtitle list: the same fields as the best-subtitle lookup.
std::wstring SubtitleListBody(int32_t languageCode, const std::string& encodedFingerprint);

// One subtitle's archive:
// version=100&response=single&cod_bsplayer=<id>&post_date=<date>
// where identifier and date (as read from the lookup reply) are sent as
// AnsiToText(EncodeBase64(NarrowText(value))).
std::wstring SingleFileBody(const std::wstring& identifier, const std::wstring& date);

// The ticked subtitles' archive:
// version=100&response=multiple&imdb=<film id>&poster=<true|false>&subtitles=<xml>
// with the film identifier as held (8-bit, still Base64; read in the ANSI
// code page here), the poster choice as the checkbox hint ("true" or
// "false") and the edited list reply as XML text.
std::wstring MultipleFilesBody(const std::string& filmIdentifier, const std::wstring& poster,
                               const std::wstring& subtitlesXml);

// A Base64 value sent back to the service: each UTF-16 unit narrowed to 8
// bits, Base64-encoded, taken back as UTF-16 text.
std::wstring EncodeServiceValue(const std::wstring& value);
