#include "subtitle_service.h"

#include <httplib.h>
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include <sys/socket.h>

#include "base64.h"
#include "form_fields.h"
#include "server_text.h"
#include "service_endpoints.h"
#include "zip_builder.h"

namespace {

// A reply before it goes on the wire.
struct Reply {
  int status = 200;
  std::string body;
  std::string contentType = "text/xml";
};

Reply BadRequest(const std::string& why, int status = 400) {
  return {status, why + "\n", "text/plain; charset=utf-8"};
}

Reply Xml(const std::string& element) { return {200, "<?xml version=\"1.0\"?>" + element, "text/xml"}; }

std::string Element(const std::string& name, const std::string& value) {
  return "<" + name + ">" + value + "</" + name + ">";
}

// A decimal integer that fills the whole text, within [low, high].
std::optional<int64_t> ParseInteger(const std::string& text, int64_t low, int64_t high) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  size_t at = text[0] == '-' ? 1 : 0;
  if (at == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return std::nullopt;
    value = value * 10 + (text[at] - '0');
  }
  if (text[0] == '-') value = -value;
  if (value < low || value > high) return std::nullopt;
  return value;
}

// The video fingerprint from the "hash" field: Base64 of 16 hex digits.
std::optional<uint64_t> ParseFingerprint(const std::string& hash) {
  const std::string text = DecodeBase64(hash);
  if (text.size() != 16 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoull(text, nullptr, 16);
}

// What every XML lookup asks: a fingerprint and, for subtitles, a language.
struct Lookup {
  uint64_t fingerprint = 0;
  int32_t language = 0;
};

// Reads the fields of a lookup; the reply to send instead when they are bad.
std::optional<Reply> ReadLookup(const std::string& body, bool withLanguage, Lookup& lookup) {
  const auto form = FormFields::Parse(body);
  if (!form) return BadRequest("the body is not a form");
  const auto hash = form->Get("hash");
  if (!hash) return BadRequest("missing field hash");
  const auto fingerprint = ParseFingerprint(*hash);
  if (!fingerprint) return BadRequest("hash is not the Base64 form of a video fingerprint");
  lookup.fingerprint = *fingerprint;
  if (withLanguage) {
    const auto code = form->Get("cod_language");
    if (!code) return BadRequest("missing field cod_language");
    const auto language = ParseInteger(*code, INT32_MIN, INT32_MAX);
    if (!language) return BadRequest("cod_language is not a number");
    lookup.language = static_cast<int32_t>(*language);
  }
  return std::nullopt;
}

std::string SubtitleRecord(const StoredSubtitle& subtitle) {
  return Element("subtitle", Element("id", EncodeBase64(std::to_string(subtitle.id))) +
                                 Element("name", ReplyValue(subtitle.name)) +
                                 Element("date", EncodeBase64(subtitle.date)) +
                                 Element("uses", EncodeBase64(std::to_string(subtitle.uses))));
}

Reply MovieByHash(SubtitleStore& store, const std::string& body) {
  Lookup lookup;
  if (auto bad = ReadLookup(body, false, lookup)) return *bad;
  const auto film = store.FindFilmByFingerprint(lookup.fingerprint);
  // A movie without name is the wizard's "not identified".
  if (!film) return Xml("<movie></movie>");
  return Xml(Element("movie", Element("name", ReplyValue(film->name)) +
                                  Element("id", EncodeBase64(std::to_string(film->number)))));
}

Reply BestSubtitle(SubtitleStore& store, const std::string& body) {
  Lookup lookup;
  if (auto bad = ReadLookup(body, true, lookup)) return *bad;
  const auto best = store.ListSubtitles(lookup.fingerprint, lookup.language, 1);
  // A subtitle without id is the wizard's "nothing found".
  if (best.empty()) return Xml("<subtitle></subtitle>");
  return Xml(SubtitleRecord(best.front()));
}

Reply SubtitleList(SubtitleStore& store, const std::string& body) {
  Lookup lookup;
  if (auto bad = ReadLookup(body, true, lookup)) return *bad;
  std::string records;
  for (const auto& subtitle :
       store.ListSubtitles(lookup.fingerprint, lookup.language, kListedSubtitles)) {
    records += SubtitleRecord(subtitle);
  }
  return Xml(Element("subtitles", records));
}

std::string PosterName(int64_t film) { return "cover-" + std::to_string(film) + "-128-198.jpg"; }

Reply Archive(const std::vector<StoredSubtitle>& subtitles, int64_t posterFilm,
              const std::string& poster) {
  std::vector<ArchiveFile> files;
  for (const auto& subtitle : subtitles) {
    files.push_back({SafeEntryName(subtitle.fileName), subtitle.bytes, subtitle.date});
  }
  if (!poster.empty()) files.push_back({PosterName(posterFilm), poster, {}});
  return {200, BuildArchive(files), "application/zip"};
}

// response=single: the subtitle named by its identifier and date.
Reply SingleFile(SubtitleStore& store, const FormFields& form) {
  const auto idField = form.Get("cod_bsplayer");
  const auto dateField = form.Get("post_date");
  if (!idField || !dateField) return BadRequest("missing field cod_bsplayer or post_date");
  const auto id = ParseInteger(DecodeBase64(*idField), 1, INT64_MAX);
  if (!id) return BadRequest("cod_bsplayer is not the Base64 form of a subtitle number");
  // Look first, count only what is sent: a wrong date takes nothing.
  const auto subtitles = store.TakeSubtitleFiles({*id}, DecodeBase64(*dateField));
  if (subtitles.empty()) return BadRequest("no such subtitle", 404);
  return Archive(subtitles, 0, {});
}

// response=multiple: the records left in the list reply the wizard sends
// back, and the poster of the film when asked.
Reply MultipleFiles(SubtitleStore& store, const FormFields& form) {
  const auto listed = form.Get("subtitles");
  if (!listed) return BadRequest("missing field subtitles");
  pugi::xml_document document;
  if (!document.load_buffer(listed->data(), listed->size(), pugi::parse_default,
                            pugi::encoding_auto)) {
    return BadRequest("subtitles is not XML");
  }
  const pugi::xml_node list = document.child("subtitles");
  if (!list) return BadRequest("subtitles holds no subtitles element");
  std::vector<int64_t> ids;
  for (const pugi::xml_node record : list.children()) {
    const auto id = ParseInteger(DecodeBase64(record.child_value("id")), 1, INT64_MAX);
    if (id && std::find(ids.begin(), ids.end(), *id) == ids.end()) ids.push_back(*id);
  }
  const auto subtitles = store.TakeSubtitleFiles(ids, std::nullopt);
  int64_t film = 0;
  std::string poster;
  if (form.Get("poster").value_or("") == "true") {
    film = ParseInteger(DecodeBase64(form.Get("imdb").value_or("")), 1, INT64_MAX).value_or(0);
    // A film the wizard could not identify: the film of the subtitles.
    if (film == 0 && !subtitles.empty()) film = subtitles.front().film;
    poster = store.Poster(film);
  }
  return Archive(subtitles, film, poster);
}

Reply SubtitleFiles(SubtitleStore& store, const std::string& body) {
  const auto form = FormFields::Parse(body);
  if (!form) return BadRequest("the body is not a form");
  const std::string response = form->Get("response").value_or("");
  if (response == "single") return SingleFile(store, *form);
  if (response == "multiple") return MultipleFiles(store, *form);
  return BadRequest("response must be single or multiple");
}

const char kClosingPage[] =
    "<!DOCTYPE html>\n<html lang=\"es\"><head><meta charset=\"utf-8\">"
    "<title>¡Gracias!</title></head>\n<body style=\"font-family: Tahoma, sans-serif\">"
    "<h1>¡Obrigado por la confianza!</h1>"
    "<p>Los subtítulos ya están junto a su vídeo. ¡Que disfrute de la película!</p>"
    "</body></html>\n";

void Send(httplib::Response& out, const Reply& reply) {
  out.status = reply.status;
  out.set_content(reply.body, reply.contentType.c_str());
}

// When the current request of this worker thread began.
thread_local std::optional<std::chrono::steady_clock::time_point> requestStart;

}  // namespace

SubtitleService::SubtitleService(SubtitleStore& store, ServiceOptions options)
    : store_(store), options_(std::move(options)) {
  service_ = std::make_unique<httplib::Server>();
  images_ = std::make_unique<httplib::Server>();
  Route();
}

SubtitleService::~SubtitleService() { Stop(); }

void SubtitleService::Route() {
  using httplib::Request;
  using httplib::Response;
  // Every POST handler turns a failure of the store into a 500, never a crash.
  auto guarded = [](auto handler) {
    return [handler](const Request& in, Response& out) {
      try {
        Send(out, handler(in));
      } catch (const std::exception& failure) {
        Send(out, BadRequest(std::string("service failure: ") + failure.what(), 500));
      }
    };
  };
  SubtitleStore& store = store_;
  service_->Post(kMovieByHashPath, guarded([&store](const Request& in) { return MovieByHash(store, in.body); }));
  service_->Post(kBestSubtitleByHashPath,
                 guarded([&store](const Request& in) { return BestSubtitle(store, in.body); }));
  service_->Post(kSubtitlesByHashPath,
                 guarded([&store](const Request& in) { return SubtitleList(store, in.body); }));
  service_->Post(kSubtitleFilesPath,
                 guarded([&store](const Request& in) { return SubtitleFiles(store, in.body); }));
  const std::string version = options_.versionReply;
  service_->Get(kVersionPath, [version](const Request&, Response& out) {
    out.set_content(version, "text/plain; charset=windows-1252");
  });
  service_->Get(kClosingPagePath, [](const Request&, Response& out) {
    out.set_content(kClosingPage, "text/html; charset=utf-8");
  });
  images_->Get(R"(/cover-(\d{1,18})-128-198\.jpg)", guarded([&store](const Request& in) {
                 const std::string poster = store.Poster(std::stoll(in.matches[1].str()));
                 if (poster.empty()) return BadRequest("no such poster", 404);
                 return Reply{200, poster, "image/jpeg"};
               }));

  for (httplib::Server* server : {service_.get(), images_.get()}) {
    const size_t workers = options_.workers;
    server->new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    server->set_payload_max_length(options_.maxBodyBytes);
    // A port is this service's alone: httplib's default SO_REUSEPORT would
    // let a second program listen on it beside us, splitting the requests.
    server->set_socket_options([this](socket_t sock) {
      int yes = 1;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
      boundSocket_ = sock;
    });
    server->set_keep_alive_timeout(2);
    // Replies go out as two writes (headers, body): with Nagle's algorithm
    // the body of a kept-alive connection waits for the client's delayed
    // ACK, some 40 ms a request.
    server->set_tcp_nodelay(true);
    server->set_error_handler([](const Request&, Response& out) {
      if (out.body.empty()) {
        out.set_content(out.status == 413 ? "request body too large\n"
                        : out.status == 404 ? "not found\n"
                                            : "bad request\n",
                        "text/plain; charset=utf-8");
      }
    });
    server->set_pre_routing_handler([](const Request&, Response&) {
      requestStart = std::chrono::steady_clock::now();
      return httplib::Server::HandlerResponse::Unhandled;
    });
    server->set_logger([this](const Request& in, const Response& out) {
      double milliseconds = 0;
      if (requestStart) {
        milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                                 *requestStart)
                           .count();
        requestStart.reset();
      }
      char line[96];
      std::snprintf(line, sizeof line, " %d %zu %.1f ms", out.status, out.body.size(), milliseconds);
      Log(in.method + " " + in.path + line);
    });
  }
}

void SubtitleService::Log(const std::string& line) {
  if (!options_.log) return;
  std::lock_guard<std::mutex> lock(logMutex_);
  *options_.log << line << '\n' << std::flush;
}

void SubtitleService::Bind() {
  auto bind = [this](httplib::Server& server, int port) {
    const int bound = port == 0 ? server.bind_to_any_port(options_.bind.c_str())
                                : (server.bind_to_port(options_.bind.c_str(), port) ? port : -1);
    if (bound <= 0) {
      throw std::runtime_error("cannot listen on " + options_.bind + ":" + std::to_string(port));
    }
    // httplib listens with a backlog of 5: fifty clients connecting at once
    // would overflow it and lose connections. listen() again only widens
    // the queue of the socket just bound.
    ::listen(boundSocket_, SOMAXCONN);
    return bound;
  };
  port_ = bind(*service_, options_.port);
  imagePort_ = bind(*images_, options_.imagePort);
}

void SubtitleService::Start() {
  serviceThread_ = std::thread([this] {
    service_->listen_after_bind();
    serviceDone_ = true;
  });
  imageThread_ = std::thread([this] {
    images_->listen_after_bind();
    imagesDone_ = true;
  });
}

void SubtitleService::Stop() {
  auto stop = [](httplib::Server& server, std::thread& thread, const std::atomic<bool>& done) {
    if (!thread.joinable()) return;
    // The loop may not have started yet: stop() acts on a running server.
    while (!server.is_running() && !done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server.stop();
    thread.join();
  };
  stop(*service_, serviceThread_, serviceDone_);
  stop(*images_, imageThread_, imagesDone_);
}
