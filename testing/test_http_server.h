#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

// One request as the test server received it.
struct RecordedRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // without the query
  std::string target;  // as on the request line: path and query
  std::vector<std::pair<std::string, std::string>> headers;  // names as sent, sorted by name
  std::string body;    // raw bytes
  int remotePort = 0;  // the client's port: requests on one connection share it

  // The value of the first header with that name (any case), or "" when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

// How the server answers one request.
struct ScriptedReply {
  // A body made while it is sent, for bodies too large to hold in memory:
  // `length` bytes, each piece from `make(offset, size)`.
  struct Generated {
    uint64_t length = 0;
    std::function<std::string(uint64_t offset, size_t size)> make;
  };

  int status = 200;
  std::string body;
  std::optional<Generated> generated;  // instead of `body`
  std::string contentType = "text/xml";
  std::vector<std::pair<std::string, std::string>> headers;  // extra ones: Location, Set-Cookie...
  // Waits before the status line, as a server that has accepted the
  // connection and not answered yet.
  std::chrono::milliseconds delay{0};
  // Waits after the status line and the headers, before the first byte of
  // the body: a reply that has begun and then says nothing.
  std::chrono::milliseconds bodyDelay{0};
  // Sends the body in pieces of this size (0: in one piece), waiting
  // `pieceDelay` before every piece but the first.
  size_t pieceSize = 0;
  std::chrono::milliseconds pieceDelay{0};
  // Closes the connection after this many body bytes; the announced length
  // stays the whole body's.
  std::optional<size_t> cutAfter;
  // With cutAfter: the connection ends with a reset (RST) instead of an
  // orderly close (in the Windows builds; natively it is closed in order).
  bool reset = false;
  // false: no Content-Length, the body goes chunked.
  bool announceLength = true;
};

// A scriptable HTTP server on the loopback address, running on its own
// threads inside the test program. Records every request and answers each
// path as scripted; an unscripted path gets 404. Waits (delays, stalls) end
// early when the server is destroyed, so a test never hangs on them.
class TestHttpServer {
 public:
  using Responder = std::function<ScriptedReply(const RecordedRequest&)>;

  // Listens on a free port of 127.0.0.1.
  TestHttpServer();
  // Listens on the given port of 127.0.0.1 (for programs whose host is
  // built in); throws std::runtime_error when the port is taken.
  explicit TestHttpServer(int port);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string BaseUrl() const;
  // "127.0.0.1:<port>"
  std::string HostAndPort() const;

  // Every request to `path` gets `reply` (replacing an earlier script).
  void Answer(const std::string& path, const ScriptedReply& reply);
  // Every request to `path` gets what `responder` makes of it. The
  // responder runs on a server thread.
  void Answer(const std::string& path, Responder responder);
  // The next request to `path` gets `reply`, before any standing answer;
  // several queue up in order.
  void AnswerOnce(const std::string& path, const ScriptedReply& reply);

  // The requests received so far, in the order they arrived.
  std::vector<RecordedRequest> Requests() const;
  void ClearRequests();
  // Waits until at least `count` requests have arrived; false on timeout.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

 private:
  void Start(int port);
  ScriptedReply ReplyFor(const RecordedRequest& request);
  // Sleeps for `duration` unless the server stops first; false when stopped.
  bool Pause(std::chrono::milliseconds duration) const;

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
  int port_ = 0;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  std::vector<RecordedRequest> requests_;
  std::map<std::string, Responder> standing_;
  std::map<std::string, std::vector<ScriptedReply>> queued_;
};
