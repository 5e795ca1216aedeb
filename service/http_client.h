#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "service_failure.h"

// Raised by a client for any transport failure or error status. Callers
// never tell one cause from another.
class HttpFailure : public ServiceFailure {
 public:
  using ServiceFailure::ServiceFailure;
};

// Where the bytes of a reply go as they arrive: a memory buffer for the XML
// replies, the archive file for the downloads. Expect and Write may throw;
// the request then ends with that exception.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  // The length the reply announces, told before any of its bytes: a sink
  // with a limit refuses a reply announced beyond it, so that nothing of it
  // is received. Not called for a reply that announces no length.
  virtual void Expect(uint64_t announcedBytes) { (void)announcedBytes; }
  virtual void Write(const char* data, size_t size) = 0;
};

// Progress of the reply a client is receiving (sending never reports). The
// window's handlers process pending window messages from here, so any
// handler may run inside them. WorkBegin comes once the status is known to
// be a success, Work after each piece written to the sink, WorkEnd last,
// also when the transfer fails after WorkBegin.
class HttpWorkEvents {
 public:
  virtual ~HttpWorkEvents() = default;
  virtual void WorkBegin(int64_t expectedBytes) = 0;  // 0 when the size is not announced
  virtual void Work(int64_t bytesSoFar) = 0;
  virtual void WorkEnd() = 0;
};

// Headers every client sends.
inline constexpr char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";
inline constexpr char kAcceptHeader[] = "text/html, */*";

// Time limits of one exchange, in milliseconds. A server that accepts the
// connection and then never answers must not keep the wizard waiting for
// ever: each stage of an exchange fails once its limit passes.
struct HttpTimeouts {
  int resolveMs = 15000;
  int connectMs = 15000;
  int sendMs = 60000;
  int receiveMs = 60000;  // without a single byte received
  // Once the headers are in, the body must keep coming: every
  // `paceBytes` within `paceWindowMs` (see TransferPace). A server that
  // trickles or falls silent mid-body fails the exchange after that long,
  // rather than holding a run that has no window to close. Real replies
  // (a few kilobytes of XML, an archive of tens of kilobytes) come far
  // faster on the slowest links in use.
  int paceWindowMs = 10000;
  int paceBytes = 1024;
};

// What sets the wizard's three clients apart.
struct HttpClientSettings {
  bool keepCookies = false;      // kept for the client's life, sent back on its later requests
  bool followRedirects = false;  // else a 3xx status is a failure
  HttpTimeouts timeouts;
};

// The XML requests and the version check.
inline HttpClientSettings TrackClientSettings() { return {}; }
// The subtitle archives: keeps cookies and follows redirects.
inline HttpClientSettings FileClientSettings() { return {true, true, {}}; }
// The poster.
inline HttpClientSettings PosterClientSettings() { return {}; }
// A web page loaded as a browser would: keeps its cookies, follows redirects.
inline HttpClientSettings PageClientSettings() { return {true, true, {}}; }

// One HTTP client with its own settings (cookies, redirects), as the wizard
// owns three of them. Requests are blocking; `url` is a full http:// address.
// Every request sends the user agent and accept headers above, no proxy, no
// authentication and no byte range. A status outside 200-299 after the
// redirects the settings allow is a failure; so is a reply shorter than its
// announced length.
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
  // delivers more bytes and its request fails. Has no effect on a later
  // request.
  virtual void Cancel() = 0;
};
