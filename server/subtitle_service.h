#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "service_replies.h"
#include "subtitle_store.h"

namespace httplib {
class Server;
}

struct ServiceOptions {
  std::string bind = "127.0.0.1";  // loopback unless asked otherwise
  int port = 47801;                // 0: any free port
  int imagePort = 47802;
  std::string versionReply;  // empty: no newer version
  size_t workers = 64;       // threads of each port
  size_t maxBodyBytes = 1 << 20;
  std::ostream* log = nullptr;  // one line per request; none when null
};

// The subtitle service over HTTP: every path under
// "/webService/downloadManager/" on one port, the posters
// "cover-<n>-128-198.jpg" on the other. Replies come from the store.
class SubtitleService {
 public:
  SubtitleService(SubtitleStore& store, ServiceOptions options);
  ~SubtitleService();  // stops
  SubtitleService(const SubtitleService&) = delete;
  SubtitleService& operator=(const SubtitleService&) = delete;

  // Binds both ports; throws std::runtime_error when one cannot be bound.
  // Connections queue from here on.
  void Bind();
  int port() const { return port_; }
  int imagePort() const { return imagePort_; }

  // Serves on threads of its own until Stop().
  void Start();
  void Stop();

 private:
  void Route();
  void Log(const std::string& line);

  SubtitleStore& store_;
  ServiceOptions options_;
  std::unique_ptr<httplib::Server> service_, images_;
  std::thread serviceThread_, imageThread_;
  std::atomic<bool> serviceDone_{false}, imagesDone_{false};
  int port_ = 0, imagePort_ = 0;
  int boundSocket_ = -1;  // the socket being bound, from httplib's socket options
  std::mutex logMutex_;
};
