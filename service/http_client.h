#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

// Raised by a client for any transport failure or error status. Callers
// never tell one cause from another.
class HttpFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the bytes of a reply go as they arrive: a memory buffer for the XML
// replies, the archive file for the downloads.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void Write(const char* data, size_t size) = 0;
};

// Progress of the transfer a client is running. The window's handlers process
// pending window messages from here, so any handler may run inside them.
class HttpWorkEvents {
 public:
  virtual ~HttpWorkEvents() = default;
  virtual void WorkBegin(int64_t expectedBytes) = 0;  // 0 when the size is not announced
  virtual void Work(int64_t bytesSoFar) = 0;
  virtual void WorkEnd() = 0;
};

// One HTTP client with its own settings (cookies, redirects), as the wizard
// owns three of them. Requests are blocking; `url` is a full http:// address.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // Kept on the client for its later POSTs.
  virtual void SetContentType(const std::string& contentType) = 0;
  virtual void SetWorkEvents(HttpWorkEvents* events) = 0;  // not owned; may be null
  // POSTs the raw body bytes; throws HttpFailure.
  virtual void Post(const std::string& url, const std::string& body, ReplySink& reply) = 0;
  // GETs the address; throws HttpFailure.
  virtual void Get(const std::string& url, ReplySink& reply) = 0;
  // Asked from a handler while a transfer runs: the transfer stops before it
  // delivers more bytes and its request fails.
  virtual void Cancel() = 0;
};
