#include "test_http_server.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (SameName(key, name)) return value;
  }
  return {};
}

bool RecordedRequest::HasHeader(const std::string& name) const {
  for (const auto& header : headers) {
    if (SameName(header.first, name)) return true;
  }
  return false;
}

TestHttpServer::TestHttpServer() { Start(0); }

TestHttpServer::TestHttpServer(int port) { Start(port); }

void TestHttpServer::Start(int port) {
  server_ = std::make_unique<httplib::Server>();
  // Idle keep-alive connections hold a server thread; a short limit keeps
  // the server's end quick.
  server_->set_keep_alive_timeout(1);
  // A port is this server's alone: no second listener may share it (httplib
  // would allow that on Linux, and Windows lets SO_REUSEADDR take it over).
  server_->set_socket_options([](socket_t sock) {
    int yes = 1;
#ifdef _WIN32
    setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof(yes));
#else
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
#endif
  });

  auto handler = [this](const httplib::Request& in, httplib::Response& out) {
    RecordedRequest request;
    request.method = in.method;
    request.path = in.path;
    request.target = in.target;
    request.headers.assign(in.headers.begin(), in.headers.end());
    request.body = in.body;
    request.remotePort = in.remote_port;
    // httplib adds these for its own bookkeeping; they were not sent.
    request.headers.erase(
        std::remove_if(request.headers.begin(), request.headers.end(),
                       [](const auto& h) {
                         return h.first == "REMOTE_ADDR" || h.first == "REMOTE_PORT" ||
                                h.first == "LOCAL_ADDR" || h.first == "LOCAL_PORT";
                       }),
        request.headers.end());
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    changed_.notify_all();

    const ScriptedReply reply = ReplyFor(request);
    if (!Pause(reply.delay)) {
      out.status = 503;
      return;
    }
    out.status = reply.status;
    for (const auto& [name, value] : reply.headers) out.headers.emplace(name, value);

    const bool plain = reply.pieceSize == 0 && !reply.cutAfter && reply.announceLength;
    if (plain) {
      out.set_content(reply.body, reply.contentType.c_str());
      return;
    }
    const auto body = std::make_shared<std::string>(reply.body);
    const size_t piece = reply.pieceSize ? reply.pieceSize : std::max<size_t>(body->size(), 1);
    const size_t stopAt = std::min(body->size(), reply.cutAfter.value_or(body->size()));
    const bool cut = reply.cutAfter.has_value();
    const auto pieceDelay = reply.pieceDelay;
    // Sends [offset, stopAt) piece by piece; false ends the connection.
    auto provide = [this, body, piece, stopAt, cut, pieceDelay](size_t offset,
                                                                 httplib::DataSink& sink) {
      if (offset >= stopAt) {
        if (cut) return false;
        sink.done();
        return true;
      }
      if (offset > 0 && !Pause(pieceDelay)) return false;
      const size_t size = std::min(piece, stopAt - offset);
      if (!sink.write(body->data() + offset, size)) return false;
      if (offset + size >= stopAt && cut) return false;
      return true;
    };
    if (reply.announceLength) {
      out.set_content_provider(
          body->size(), reply.contentType.c_str(),
          [provide](size_t offset, size_t, httplib::DataSink& sink) { return provide(offset, sink); });
    } else {
      out.set_chunked_content_provider(
          reply.contentType.c_str(),
          [provide](size_t offset, httplib::DataSink& sink) { return provide(offset, sink); });
    }
  };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Delete(".*", handler);
  server_->Options(".*", handler);

  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("test server cannot listen");
  } else {
    if (!server_->bind_to_port("127.0.0.1", port)) {
      throw std::runtime_error("test server cannot listen on port " + std::to_string(port));
    }
    port_ = port;
  }
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    finished_ = true;
  });
}

TestHttpServer::~TestHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  // listen_after_bind may not have started its loop yet: stop() only acts
  // on a running server.
  while (!server_->is_running() && !finished_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string TestHttpServer::BaseUrl() const { return "http://" + HostAndPort(); }

std::string TestHttpServer::HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

void TestHttpServer::Answer(const std::string& path, const ScriptedReply& reply) {
  Answer(path, [reply](const RecordedRequest&) { return reply; });
}

void TestHttpServer::Answer(const std::string& path, Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  standing_[path] = std::move(responder);
}

void TestHttpServer::AnswerOnce(const std::string& path, const ScriptedReply& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  queued_[path].push_back(reply);
}

ScriptedReply TestHttpServer::ReplyFor(const RecordedRequest& request) {
  Responder responder;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto queue = queued_.find(request.path);
    if (queue != queued_.end() && !queue->second.empty()) {
      ScriptedReply reply = queue->second.front();
      queue->second.erase(queue->second.begin());
      return reply;
    }
    auto standing = standing_.find(request.path);
    if (standing == standing_.end()) {
      ScriptedReply notFound;
      notFound.status = 404;
      notFound.body = "not scripted";
      notFound.contentType = "text/plain";
      return notFound;
    }
    responder = standing->second;
  }
  return responder(request);
}

bool TestHttpServer::Pause(std::chrono::milliseconds duration) const {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, duration, [this] { return stopping_; });
  return !stopping_;
}

std::vector<RecordedRequest> TestHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TestHttpServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

bool TestHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}
