// Fuzz target: arbitrary bytes as the service's reply to one exchange of a
// wizard run (see reply_input.h): the subtitle list, the film lookup, the
// best subtitle or the version check. The run is the real one, on the
// recording fakes of the wizard's tests and a file system that keeps
// nothing; the other exchanges get the replies of a working service. The
// user presses Next where the run waits for it, so a list reply also goes
// back to the service. Checks what the run must do whatever it receives:
// - a list either ends in the not-found message or shows its rows, the
//   first ticked and bold; the service gets exactly the ticked records back;
// - the film is identified (the caption names it) or not (the caption and
//   label say so, no identifier is kept), and the poster asked for is that
//   of a 32-bit film number;
// - the best subtitle is downloaded with its identifier and date sent back
//   as Base64 of the very bytes received, or the not-found message shows;
// - only an http:// or https:// address is offered as a new version, and
//   only it reaches the shell.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base64.h"
#include "download_manager.h"
#include "memory_file_operations.h"
#include "reply_document.h"
#include "reply_input.h"
#include "service_hosts.h"
#include "text_forms.h"
#include "wizard_fakes.h"
#include "wizard_texts.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "does not hold: %s\n", what);
    std::abort();
  }
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}
bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// What a working service answers (as subtitle-server writes it).
const char kListReply[] =
    "<?xml version=\"1.0\"?><subtitles>"
    "<subtitle><id>MQ==</id><name>RXNwYfFvbA==</name><date>MjAxMy0wNS0wMQ==</date>"
    "<uses>Mw==</uses></subtitle>"
    "<subtitle><id>Mg==</id><name>U3ViIDI=</name><date>MjAxMy0wNS0wMg==</date>"
    "<uses>MQ==</uses></subtitle>"
    "<subtitle><id>Mw==</id><name>U3ViIDM=</name><date>MjAxMy0wNS0wMw==</date>"
    "<uses>MA==</uses></subtitle></subtitles>";
const size_t kListRecords = 3;
const char kMovieReply[] =
    "<?xml version=\"1.0\"?><movie><name>U2FtcGxlIEZpbG0=</name><id>MTAwMQ==</id></movie>";
const char kFilmIdentifier[] = "MTAwMQ==";
const char kPosterReply[] = "\xFF\xD8\xFF\xE0 a poster";

const std::wstring kNotFoundStart = L"Subtítulo no encontrado.";
const std::wstring kUnidentified = L"El vídeo no fue identificado.";
const std::wstring kCaptionStart = std::wstring(L"Subtítulos ") + L"1.0";

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

bool IsPlainAscii(const std::string& bytes) {
  for (char c : bytes) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// The value of `element` in the first `parent` of the reply, as the service
// sent it (decoded), or nothing when the reply has none.
bool SentValue(const std::string& reply, const char* parent, const char* element,
               std::string& value) {
  try {
    const ReplyDocumentRef document = LoadReplyDocument(reply);
    value = ReadReplyText(FindChildElement(FindChildElement(*document, parent), element));
    return true;
  } catch (const ServiceFailure&) {
    return false;
  }
}

class Run {
 public:
  explicit Run(const wchar_t* mode)
      : manager_(std::make_unique<DownloadManager>(
            view, platform, files, WizardClients{track, file, poster},
            CommandArguments{L"0123456789abcdef", L"C:\\Mis*Vídeos\\La*Película.avi", L"42",
                             mode})) {}

  DownloadManager& manager() { return *manager_; }

  bool ShowedOnly(const std::wstring& title, const std::wstring& textStart) const {
    return view.messages.size() == 1 && view.messages[0].title == title &&
           StartsWith(view.messages[0].text, textStart);
  }

  // The records of the list the files request sent back, or -1 when that
  // XML could not be read again.
  long SentRecords() const {
    const std::string& body = file.requests.at(0).body;
    const size_t at = body.find("&subtitles=");
    try {
      const ReplyDocumentRef document = LoadReplyDocument(body.substr(at + 11));
      return static_cast<long>(ChildCount(FindChildElement(*document, "subtitles")));
    } catch (const ServiceFailure&) {
      return -1;
    }
  }

  FakeView view;
  FakePlatform platform;
  FakeHttpClient track, file, poster;
  MemoryFileOperations files;

 private:
  std::unique_ptr<DownloadManager> manager_;
};

bool RowTickedByChoice(uint8_t choices, size_t row) {
  return (choices >> (kFirstRowBit + row % kRowBits)) & 1;
}

// Presses Next on the list and checks the request that goes back.
void PressNextOnTheList(Run& run, uint8_t choices, const std::string& filmIdentifier) {
  long ticked = 0;
  for (size_t i = 0; i < run.view.rows.size(); ++i) {
    run.view.rows[i].ticked = RowTickedByChoice(choices, i);
    ticked += run.view.rows[i].ticked;
  }
  run.file.replies.push_back({""});
  run.manager().BtnProximoClick();
  Require(run.file.requests.size() == 1, "Next sends one files request");
  const std::string start = "version=100&response=multiple&imdb=";
  const std::string& body = run.file.requests[0].body;
  Require(StartsWith(body, start), "the files request's fixed start");
  if (IsPlainAscii(filmIdentifier) && filmIdentifier.find('&') == std::string::npos) {
    Require(StartsWith(body, start + filmIdentifier + "&poster=false&subtitles="),
            "the film identifier goes back as received");
  }
  const long sent = run.SentRecords();
  Require(sent < 0 || sent == ticked, "exactly the ticked records go back");
  Require(run.view.ActivePage() == kPageFinish && run.view.closingPages.size() == 1,
          "the run reaches its closing page");
}

void CheckRows(const Run& run) {
  Require(!run.view.rows.empty() && run.view.rows[0].ticked && run.view.rows[0].bold,
          "the first row ticked and bold");
  for (size_t i = 0; i < run.view.rows.size(); ++i) {
    Require(i == 0 || (!run.view.rows[i].ticked && !run.view.rows[i].bold),
            "the other rows plain");
    Require(run.view.rows[i].caption.find(L'\0') == std::wstring::npos, "a caption ends at a zero");
  }
}

void SubtitleList(const std::string& reply, uint8_t choices) {
  Run run(L"top");
  run.track.replies = {{reply}, {kMovieReply}, {""}};
  run.poster.replies = {{kPosterReply}};
  run.manager().FormCreate();
  if (run.manager().Terminated()) {
    Require(run.ShowedOnly(kInformationTitle, kNotFoundStart), "a list without rows: not found");
    Require(run.track.requests.size() == 2 && run.track.requests[1].method == "GET",
            "not found: no film lookup, then the version check");
    return;
  }
  Require(run.view.messages.empty(), "a list with rows shows no message");
  Require(run.track.requests.size() == 3, "list, film, version");
  CheckRows(run);
  PressNextOnTheList(run, choices, kFilmIdentifier);
}

// The poster's address: the image host, "cover-", a 32-bit number as
// decimal text, "-128-198.jpg".
void CheckPosterUrl(const std::string& url, const std::string& filmIdentifier) {
  const std::string start = std::string("http://") + kImageHost + "/cover-";
  const std::string end = "-128-198.jpg";
  Require(StartsWith(url, start) && url.size() > start.size() + end.size() &&
              url.compare(url.size() - end.size(), end.size(), end) == 0,
          "the poster's address");
  const std::string number = url.substr(start.size(), url.size() - start.size() - end.size());
  const long long value = std::strtoll(number.c_str(), nullptr, 10);
  Require(std::to_string(value) == number && value >= INT32_MIN && value <= INT32_MAX,
          "the poster of a 32-bit film number");
  const std::string decoded = DecodeBase64(filmIdentifier);
  if (!decoded.empty() && decoded.size() < 10 && decoded.find_first_not_of("0123456789") ==
                                                     std::string::npos) {
    Require(value == std::strtoll(decoded.c_str(), nullptr, 10), "the film's own poster");
  }
}

void FilmLookup(const std::string& reply, uint8_t choices) {
  Run run(L"top");
  run.track.replies = {{kListReply}, {reply}, {""}};
  run.poster.replies = {{kPosterReply}};
  run.manager().FormCreate();
  Require(!run.manager().Terminated() && run.view.messages.empty(), "the list stands");
  Require(run.view.rows.size() == kListRecords, "the list's rows");
  CheckRows(run);

  const std::string identifier = run.manager().filmIdentifier();
  if (run.view.posterCheckboxVisible) {
    Require(run.view.Caption() == kCaptionStart + L" - " + run.view.movieName,
            "the caption names the film");
    Require(run.view.movieName.find(L'\0') == std::wstring::npos, "a film name ends at a zero");
  } else {
    Require(run.view.movieName == kUnidentified && run.view.Caption() == kCaptionStart,
            "an unidentified film says so");
    Require(identifier.empty(), "no identifier kept for an unidentified film");
  }
  Require(run.poster.requests.size() == 1, "one poster request");
  CheckPosterUrl(run.poster.requests[0].url, identifier);
  PressNextOnTheList(run, choices, identifier);
}

void BestSubtitle(const std::string& reply) {
  Run run(L"melhor");
  run.track.replies = {{""}, {reply}};
  run.file.replies = {{""}};
  run.manager().FormCreate();
  Require(run.manager().Terminated(), "the best-subtitle run ends");
  std::string id, date;
  const bool hasId = SentValue(reply, "subtitle", "id", id);
  const bool hasDate = SentValue(reply, "subtitle", "date", date);
  if (run.file.requests.empty()) {
    Require(run.ShowedOnly(kInformationTitle, kNotFoundStart) && run.view.balloons.empty(),
            "nothing downloaded: not found");
    return;
  }
  Require(run.file.requests.size() == 1 && run.view.balloons.size() == 1 &&
              run.view.messages.empty(),
          "one download, one balloon, no message");
  Require(hasId && hasDate, "a download only for a reply with an identifier and a date");
  const std::string& body = run.file.requests[0].body;
  const std::string start = "version=100&response=single&cod_bsplayer=";
  const std::string middle = "&post_date=";
  const size_t at = body.find(middle);
  Require(StartsWith(body, start) && at != std::string::npos, "the single file request's fields");
  const std::string sentId = body.substr(start.size(), at - start.size());
  const std::string sentDate = body.substr(at + middle.size());
  Require(IsBase64Value(sentId) && IsBase64Value(sentDate), "identifier and date as Base64");
  Require(!DecodeBase64(sentId).empty() && !DecodeBase64(sentDate).empty(),
          "no empty identifier or date");
  if (IsPlainAscii(id)) Require(DecodeBase64(sentId) == id, "the identifier goes back as received");
  if (IsPlainAscii(date)) Require(DecodeBase64(sentDate) == date, "the date goes back as received");
}

// An http:// or https:// address (any letter case) with something after the
// scheme, read up to the reply's first zero byte.
bool OffersNewVersion(const std::string& reply) {
  const std::string text = reply.substr(0, reply.find('\0'));
  std::string lower = text.substr(0, 8);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return (StartsWith(lower, "http://") && text.size() > 7) ||
         (StartsWith(lower, "https://") && text.size() > 8);
}

void VersionCheck(const std::string& reply, uint8_t choices) {
  Run run(L"melhor");
  run.track.replies = {{reply}};  // the lookup that follows fails
  const bool yes = choices & kAnswerYesBit;
  run.view.answers = {yes ? MessageAnswer::Yes : MessageAnswer::No};
  run.manager().FormCreate();
  const bool offered = OffersNewVersion(reply);
  size_t questions = 0;
  for (const auto& message : run.view.messages) questions += message.title == L"Actualización";
  Require(questions == (offered ? 1u : 0u), "the question exactly for a web address");
  if (offered && yes) {
    Require(run.platform.opened.size() == 1 &&
                run.platform.opened[0] == AnsiToText(reply.substr(0, reply.find('\0'))),
            "the shell opens the address offered");
    Require(run.manager().Terminated(), "the run ends for the update");
  } else {
    Require(run.platform.opened.empty(), "nothing reaches the shell");
  }
  Require(run.file.requests.empty(), "no download");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kReplyInputHeader) return 0;
  const auto exchange = static_cast<ReplyExchange>(data[0] % kReplyExchanges);
  const uint8_t choices = data[1];
  const std::string reply(reinterpret_cast<const char*>(data + kReplyInputHeader),
                          size - kReplyInputHeader);
  switch (exchange) {
    case ReplyExchange::SubtitleList:
      SubtitleList(reply, choices);
      break;
    case ReplyExchange::FilmLookup:
      FilmLookup(reply, choices);
      break;
    case ReplyExchange::BestSubtitle:
      BestSubtitle(reply);
      break;
    case ReplyExchange::VersionCheck:
      VersionCheck(reply, choices);
      break;
  }
  return 0;
}
