// The film behind the fingerprint: its name, its identifier and its poster.
#include "base64.h"
#include "decimal_text.h"
#include "download_manager.h"
#include "form_bodies.h"
#include "program_constants.h"
#include "service_endpoints.h"
#include "service_request.h"
#include "text_forms.h"

void DownloadManager::IdentifyFilm() {
  const std::wstring body = MovieLookupBody(runRequest_.encodedFingerprint);
  try {
    MemoryReplySink reply;
    SendServiceRequest(clients_.track, kMovieByHashPath, body, reply);
    const ReplyDocumentRef document = LoadReplyDocument(reply);
    const ReplyNode movie = FindChildElement(*document, "movie");
    const std::wstring filmName = AnsiToText(ReadReplyText(FindChildElement(movie, "name")));
    // Kept as received, still Base64: it goes back to the service unchanged.
    filmIdentifier_ = ReadElementText(FindChildElement(movie, "id"));
    view_.SetMovieNameCaption(filmName);
    view_.SetCaption(std::wstring(L"Subtítulos ") + kDisplayVersion + L" - " + filmName);
    view_.SetPosterCheckboxVisible(true);
  } catch (...) {
    view_.SetMovieNameCaption(L"El vídeo no fue identificado.");
    view_.SetCaption(std::wstring(L"Subtítulos ") + kDisplayVersion);
    view_.SetPosterCheckboxVisible(false);
  }
  const int32_t filmNumber =
      ParseDecimalInt32(AnsiToText(DecodeBase64(filmIdentifier_))).value_or(0);
  DownloadPoster(PosterUrl(filmNumber));
  view_.SetNextEnabled(true);
  view_.SetSubtitleGroupVisible(true);
}

void DownloadManager::DownloadPoster(const std::string& url) {
  try {
    MemoryReplySink reply;
    clients_.poster.Get(url, reply);
    view_.ShowPoster(reply.bytes());  // a picture that is no JPEG changes nothing
  } catch (...) {
  }
}

void DownloadManager::ChckBxPosterClick() {
  RunHandler(Concurrency::EvenDuringAnother, [this] {
    view_.SetPosterCheckboxHint(view_.PosterCheckboxTicked() ? L"true" : L"false");
  });
}
