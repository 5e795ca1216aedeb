// Fuzz target: arbitrary bytes as the body of a POST to the subtitle
// service (see request_input.h), answered by the service's own reply
// functions over an SQLite store in memory with a small library. Checks
// what every answer must be, whatever the body:
// - no failure escapes (it would be a 500 "service failure"): a body that
//   cannot be read is refused with 400 (404: no such subtitle) and one
//   line of plain text;
// - a lookup's reply is XML the wizard reads, with its expected element,
//   every value Base64, at most ten subtitles in a list;
// - an archive is a ZIP archive.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "reply_document.h"
#include "request_input.h"
#include "service_replies.h"
#include "subtitle_store.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "does not hold: %s\n", what);
    std::abort();
  }
}

SubtitleStore& Library() {
  static SubtitleStore* store = [] {
    auto made = OpenSqliteStore(":memory:");
    std::vector<StoredSubtitle> subtitles;
    int64_t day = 0;
    for (uint64_t fingerprint : kLibraryFingerprints) {
      for (int32_t language : {kLibraryLanguage, 6}) {
        for (const char* name : {"Español", "Español (revisado)", "English", "Subtítulo 4"}) {
          StoredSubtitle s;
          s.fingerprint = fingerprint;
          s.language = language;
          s.film = fingerprint == kLibraryFingerprints[0] ? kLibraryFilm : 7;
          s.name = name;
          s.date = "2013-05-" + std::to_string(10 + ++day % 20);
          s.fileName = std::string(name) + ".srt";
          s.bytes = "1\n00:00:01,000 --> 00:00:02,000\nHola\n";
          subtitles.push_back(s);
        }
      }
    }
    made->AddLibrary({{kLibraryFilm, "Sample Film", "\xFF\xD8\xFF\xE0 poster"}, {7, "Mi Película", ""}},
                     subtitles);
    return made.release();  // kept for the whole run
  }();
  return *store;
}

bool IsBase64Value(const std::string& text) {
  if (text.size() % 4 != 0) return false;
  const size_t fill = text.find('=');
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '+' || c == '/';
    if (fill != std::string::npos && i >= fill ? c != '=' : !alphabet) return false;
  }
  return fill == std::string::npos || text.size() - fill <= 2;
}

// Every element of `element` without element children holds a Base64 value.
void CheckValues(const ReplyNode& element) {
  const size_t count = ChildCount(element);
  for (size_t i = 0; i < count; ++i) {
    const ReplyNode child = ChildAt(element, i);
    if (ChildCount(child) == 0 || !FindChildElement(child, "id")) {
      Require(IsBase64Value(ReadElementText(child)), "every value is Base64");
    } else {
      CheckValues(child);
    }
  }
}

void CheckLookupReply(const ServiceReply& reply, const char* top, size_t most) {
  Require(reply.contentType == "text/xml", "a lookup answers XML");
  ReplyDocumentRef document;
  try {
    document = LoadReplyDocument(reply.body);
  } catch (const ReplyFailure&) {
    Require(false, "the wizard reads the reply");
  }
  const ReplyNode element = FindChildElement(*document, top);
  Require(static_cast<bool>(element), "the reply's element");
  Require(ChildCount(element) <= most, "no more records than a reply holds");
  CheckValues(element);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  SubtitleStore& store = Library();
  const auto endpoint = static_cast<ServiceEndpoint>(data[0] % kServiceEndpoints);
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);

  ServiceReply reply;
  switch (endpoint) {
    case ServiceEndpoint::MovieByHash:
      reply = MovieByHashReply(store, body);
      if (reply.status == 200) CheckLookupReply(reply, "movie", 2);
      break;
    case ServiceEndpoint::BestSubtitle:
      reply = BestSubtitleReply(store, body);
      if (reply.status == 200) CheckLookupReply(reply, "subtitle", 4);
      break;
    case ServiceEndpoint::SubtitleList:
      reply = SubtitleListReply(store, body);
      if (reply.status == 200) CheckLookupReply(reply, "subtitles", kListedSubtitles);
      break;
    case ServiceEndpoint::SubtitleFiles:
      reply = SubtitleFilesReply(store, body);
      if (reply.status == 200) {
        Require(reply.contentType == "application/zip" && reply.body.compare(0, 2, "PK") == 0,
                "an archive is a ZIP archive");
      }
      break;
  }
  if (reply.status == 200) return 0;
  Require(reply.status == 400 ||
              (reply.status == 404 && endpoint == ServiceEndpoint::SubtitleFiles),
          "a body that cannot be read is refused");
  Require(reply.contentType == "text/plain; charset=utf-8" && !reply.body.empty() &&
              reply.body.find('\n') == reply.body.size() - 1,
          "a refusal says why in one line");
  return 0;
}
