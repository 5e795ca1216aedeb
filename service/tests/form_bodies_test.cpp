#include "form_bodies.h"

#include <gtest/gtest.h>

#include "base64.h"
#include "text_forms.h"

namespace {

const std::string kEncodedFingerprint = EncodeBase64("0123456789abcdef");

struct BodyCase {
  const char* name;
  std::wstring body;
  std::wstring expected;
};

TEST(FormBodies, EveryEndpointBodyByteForByte) {
  const BodyCase cases[] = {
      {"film lookup", MovieLookupBody(kEncodedFingerprint),
       L"version=100&response=xml&hash=MDEyMzQ1Njc4OWFiY2RlZg=="},
      {"subtitle list", SubtitleListBody(42, kEncodedFingerprint),
       L"version=100&response=xml&cod_language=42&hash=MDEyMzQ1Njc4OWFiY2RlZg=="},
      {"best subtitle, default language", BestSubtitleLookupBody(6, "F"),
       L"version=100&response=xml&cod_language=6&hash=F"},
      {"negative language code", BestSubtitleLookupBody(-7, "F"),
       L"version=100&response=xml&cod_language=-7&hash=F"},
      {"single file", SingleFileBody(L"12345", L"2013-05-01"),
       L"version=100&response=single&cod_bsplayer=MTIzNDU=&post_date=MjAxMy0wNS0wMQ=="},
      {"multiple files", MultipleFilesBody("MTIzNA==", L"true", L"<subtitles/>\r\n"),
       L"version=100&response=multiple&imdb=MTIzNA==&poster=true&subtitles=<subtitles/>\r\n"},
      {"multiple files, film not identified", MultipleFilesBody("", L"false", L"<a>&amp;\"'</a>"),
       L"version=100&response=multiple&imdb=&poster=false&subtitles=<a>&amp;\"'</a>"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.body, c.expected) << c.name;
}

TEST(FormBodies, ValuesSentBackAreNarrowedThenEncoded) {
  EXPECT_EQ(EncodeServiceValue(L""), L"");
  EXPECT_EQ(EncodeServiceValue(L"12345"), L"MTIzNDU=");
  // é travels as its one ANSI byte E9; Ł keeps only its low byte 41 ("A").
  EXPECT_EQ(EncodeServiceValue(L"\u00e9"), L"6Q==");
  EXPECT_EQ(EncodeServiceValue(L"\u0141"), L"QQ==");
}

TEST(FormBodies, HeldEightBitTextsAreReadInTheAnsiCodePage) {
  // A film identifier is Base64 as received; should it hold an 8-bit byte,
  // the body carries the byte's ANSI character and sends that byte back.
  const std::wstring body = MultipleFilesBody("\xE9", L"false", L"");
  EXPECT_EQ(TextToAnsi(body), "version=100&response=multiple&imdb=\xE9&poster=false&subtitles=");
}

}  // namespace
