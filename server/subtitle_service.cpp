#include "subtitle_service.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include <sys/socket.h>

#include "service_endpoints.h"
#include "service_replies.h"

namespace {

const char kClosingPage[] =
    "<!DOCTYPE html>\n<html lang=\"es\"><head><meta charset=\"utf-8\">"
    "<title>¡Gracias!</title></head>\n<body style=\"font-family: Tahoma, sans-serif\">"
    "<h1>¡Obrigado por la confianza!</h1>"
    "<p>Los subtítulos ya están junto a su vídeo. ¡Que disfrute de la película!</p>"
    "</body></html>\n";

void Send(httplib::Response& out, const ServiceReply& reply) {
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
  service_->Post(kMovieByHashPath, guarded([&store](const Request& in) { return MovieByHashReply(store, in.body); }));
  service_->Post(kBestSubtitleByHashPath,
                 guarded([&store](const Request& in) { return BestSubtitleReply(store, in.body); }));
  service_->Post(kSubtitlesByHashPath,
                 guarded([&store](const Request& in) { return SubtitleListReply(store, in.body); }));
  service_->Post(kSubtitleFilesPath,
                 guarded([&store](const Request& in) { return SubtitleFilesReply(store, in.body); }));
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
                 return ServiceReply{200, poster, "image/jpeg"};
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
